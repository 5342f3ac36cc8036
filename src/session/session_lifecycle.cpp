// Session start and stop on the caller's thread. The threads wind down by themselves once the
// flags fall; the session exports do the waiting.
#include "api/reply_number.h"
#include "logging/logger_setup.h"
#include "platform/platform.h"
#include "session/processor.h"
#include "session/text_fields.h"
#include "trace/failure.h"
#include "trace/trace.h"

namespace corvo::session {
namespace {
constexpr std::chrono::milliseconds kStartPause{2000};
}

std::int32_t Processor::Initialize(std::string key, std::int32_t login, std::string zmqServer,
                                   std::string apiServer) {
    trace::text("Initialize");
    apiServer = zmqServer + ":" + apiServer;
    {
        Gate::Section section(subscriptionGate_);
        subscribedSymbols.clear();
        health_.subscriptions.store(0, std::memory_order_relaxed);
    }
    setStreamEndpoint({});
    {
        Gate::Section section(storeGate_);
        takeUpdatedTopics();
        updateTopicCounts();
    }
    api_.setServer({});
    trace::text("key: ", trace::secretPrefix(key));
    trace::text("Login: ", login);
    trace::text("zmq_sever: ", zmqServer);
    trace::text("api_server: ", apiServer);
    // Released at the end of the start: a start that fails stops the flush worker again.
    auto logFile = logging::setUpLogging(platform::logFilePath());
    if (!logFile.fileFailure().empty()) {
        trace::text("The log file could not be opened; the start goes on: ", logFile.fileFailure());
    }
    setUserKey(key);

    auto const pieces = splitFields(apiServer, ':');
    if (pieces.size() != 2 && pieces.size() != 3) {
        failure::note("\"" + apiServer + "\" names no API host and port");
        return 0;
    }
    std::string host = pieces.size() == 2 ? pieces[0] : pieces[0] + ":" + pieces[1];
    api_.setServer({host, 80});
    auto const port = api::readDecimal(pieces.back());
    if (!port) {
        trace::text("Error exception:", "stoi");
        failure::note("the API port \"" + pieces.back() + "\" is not a number");
        platform::pause(kStartPause);
        return 0;
    }
    api_.setServer({std::move(host), *port});

    failure::clear();
    std::int32_t const streamPort = getZMQPort();
    // A stream endpoint without a real port could never deliver: the start has failed.
    if (streamPort < 1 || streamPort > 65535) {
        failure::note(failure::noted() ? std::string("the balancer failed: ") + failure::reason()
                                       : "the balancer named no usable stream port (" +
                                             std::to_string(streamPort) + ")");
        return 0;
    }
    setStreamEndpoint("tcp://" + zmqServer + ":" + std::to_string(streamPort));
    trace::text("zmq_full_sever: ", endpoint());
    if (authen(login) == 0) {
        failure::note("the API did not announce the account: its reply is not a number");
        return 0;
    }
    if (!startSessionThreads()) {
        failure::note("the session's threads could not be started");
        return 0;
    }
    logFile.keepFlushing();
    trace::text("Initialized");
    platform::pause(kStartPause);
    return 1;
}

std::int32_t Processor::Deinitialize() {
    // Without a session socket the catch-all filter cannot be removed; the stop goes on.
    removeSymbol("");
    requestStop();
    trace::text("Deinitialized");
    return 1;
}

bool Processor::startSessionThreads() {
    // Raised before the thread exists, so a stop at any moment of the start is seen and
    // waited for.
    // A previous session's monitor, already stopped, is joined before its handle is reused.
    joinSessionThreads();
    monitorAlive = true;
    monitorRunning = true;
    try {
        monitorThread_ = std::thread([this] { runMonitor(); });
        return true;
    } catch (const std::system_error& error) {
        trace::text("[Thread] ZMQ Monitor could not be started: ", error.what());
        monitorRunning = false;
        monitorAlive = false;
        return false;
    }
}

void Processor::joinSessionThreads() {
    // The monitor joins the subscriber before it ends.
    if (monitorThread_.joinable()) {
        monitorThread_.join();
    }
}

void Processor::endSession() {
    Deinitialize();
    joinSessionThreads();
    logging::stopPeriodicFlush();
}

void Processor::requestStop() {
    monitorRunning = false;
    running = false;
    commands_.wake();
}

}  // namespace corvo::session
