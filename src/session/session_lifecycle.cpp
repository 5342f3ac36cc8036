// Session start and stop on the caller's thread. The threads wind down by themselves once the
// flags fall; the session exports do the waiting.
#include "api/reply_number.h"
#include "logging/logger_setup.h"
#include "platform/platform.h"
#include "session/processor.h"
#include "session/text_fields.h"
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
    }
    streamEndpoint.clear();
    {
        Gate::Section section(storeGate_);
        takeUpdatedTopics();
    }
    api_.host.clear();
    api_.port = 80;
    trace::text("key: ", key);
    trace::text("Login: ", login);
    trace::text("zmq_sever: ", zmqServer);
    trace::text("api_server: ", apiServer);
    auto const logFile = logging::setUpLogging();
    userKey = key;

    auto const pieces = splitFields(apiServer, ':');
    if (pieces.size() != 2 && pieces.size() != 3) {
        return 0;
    }
    api_.host = pieces.size() == 2 ? pieces[0] : pieces[0] + ":" + pieces[1];
    auto const port = api::readDecimal(pieces.back());
    if (!port) {
        trace::text("Error exception:", "stoi");
        platform::pause(kStartPause);
        return 0;
    }
    api_.port = *port;

    std::int32_t const streamPort = getZMQPort();
    streamEndpoint = "tcp://" + zmqServer + ":" + std::to_string(streamPort);
    trace::text("zmq_full_sever: ", streamEndpoint);
    if (authen(login) == 0) {
        return 0;
    }
    if (!startSessionThreads()) {
        return 0;
    }
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
    monitorAlive = true;
    monitorRunning = true;
    if (platform::startDetachedThread([this] { runMonitor(); })) {
        return true;
    }
    monitorRunning = false;
    monitorAlive = false;
    return false;
}

void Processor::requestStop() {
    monitorRunning = false;
    running = false;
    commands_.wake();
}

}  // namespace corvo::session
