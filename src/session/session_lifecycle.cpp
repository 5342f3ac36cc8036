// Session start and stop on the caller's thread. The threads wind down by themselves once the
// flags fall; the session exports do the waiting.
#include "api/reply_reading.h"
#include "logging/logger_setup.h"
#include "platform/name_lookup.h"
#include "platform/platform.h"
#include "session/processor.h"
#include "trace/trace.h"

namespace corvo::session {
namespace {
constexpr std::chrono::milliseconds kStartPause{2000};
// The pause is taken in slices so that a stop ends it at once.
constexpr std::chrono::milliseconds kPauseSlice{20};
}  // namespace

api::Outcome<api::Done> Processor::Initialize(StartPlan plan) {
    using api::Failure;
    using api::FailureKind;
    trace::text("Initialize");
    {
        Gate::Section section(subscriptionGate_);
        subscribedSymbols.clear();
        withoutSnapshot_.clear();
        updateSubscriptionCount();
    }
    setStreamEndpoint({});
    {
        Gate::Section section(storeGate_);
        takeUpdatedTopics();
        updateTopicCounts();
    }
    SessionServers const& servers = plan.servers;
    trace::text("key: ", trace::secretPrefix(plan.key));
    trace::text("Login: ", plan.login);
    trace::text("zmq_sever: ", servers.streamHost);
    trace::text("api_server: ", servers.apiHost, ":", servers.apiPort);
    // Released at the end of the start: a start that fails stops the flush worker again.
    auto logFile = logging::setUpLogging(platform::logFilePath());
    if (!logFile.fileFailure().empty()) {
        trace::text("The log file could not be opened; the start goes on: ", logFile.fileFailure());
    }
    setUserKey(std::move(plan.key));
    api_.setServer({servers.apiHost, servers.apiPort});

    auto const streamPort = api::replyNumber(getZMQPort(plan.until), plan.errorStatus);
    if (!streamPort) {
        Failure const& failure = streamPort.failure();
        return Failure{failure.kind, failure.kind == FailureKind::refused
                                         ? "the API refused the credentials: " + failure.reason
                                         : "the balancer failed: " + failure.reason};
    }
    // A stream endpoint without a real port could never deliver: the start has failed.
    if (streamPort.value() < 1 || streamPort.value() > 65535) {
        return Failure{FailureKind::badAnswer, "the balancer named no usable stream port (" +
                                                   std::to_string(streamPort.value()) + ")"};
    }
    setStreamEndpoint("tcp://" + servers.streamHost + ":" + std::to_string(streamPort.value()));
    trace::text("zmq_full_sever: ", endpoint());
    // Any number counts as announced; the value is the server's business. Legacy hosts have
    // always seen a failed announcement read as "0", a number.
    auto reply = authen(plan.login, plan.until);
    auto const announced = plan.errorStatus == api::ErrorStatus::asReply
                               ? api::legacyNumber(std::move(reply))
                               : api::replyNumber(std::move(reply), plan.errorStatus);
    if (!announced) {
        return Failure{announced.failure().kind,
                       "the API did not announce the account: " + announced.failure().reason};
    }
    quickStart_ = plan.quick;
    streamReady_ = false;
    if (!startSessionThreads(plan.stopRequests)) {
        return stopRequests_ != plan.stopRequests
                   ? Failure{FailureKind::local, "a stop was asked for during the start"}
                   : Failure{FailureKind::exchange, "the session's threads could not be started"};
    }
    trace::text("Initialized");
    // A stop asked while the threads started may have found the flags still down.
    auto const stopped = [&] { return stopRequests_ != plan.stopRequests; };
    auto const pause = plan.quick ? std::chrono::milliseconds(0) : kStartPause;
    for (auto waited = std::chrono::milliseconds(0); waited < pause && !stopped();
         waited += kPauseSlice) {
        platform::pause(kPauseSlice);
    }
    if (stopped()) {
        return Failure{FailureKind::local, "a stop was asked for during the start"};
    }
    logFile.keepFlushing();
    return api::Done{};
}

std::int32_t Processor::Deinitialize() {
    // Without a session socket the catch-all filter cannot be removed; the stop goes on.
    removeSymbol("");
    requestStop();
    trace::text("Deinitialized");
    return 1;
}

bool Processor::startSessionThreads(std::uint64_t stopRequestsAtStart) {
    // A previous session's monitor, already stopped, is joined before its handle is reused.
    joinSessionThreads();
    // Raised before the thread exists, so a stop at any moment of the start is seen and
    // waited for. A stop counts before it lowers the flags, so either the count is seen here or
    // the stop lowers them after they were raised.
    monitorAlive_ = true;
    monitorRunning_ = true;
    if (stopRequests_ != stopRequestsAtStart) {
        monitorRunning_ = false;
        monitorAlive_ = false;
        return false;
    }
    try {
        monitorThread_ = std::thread([this] { runMonitor(); });
        return true;
    } catch (const std::system_error& error) {
        trace::text("[Thread] ZMQ Monitor could not be started: ", error.what());
        monitorRunning_ = false;
        monitorAlive_ = false;
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
    {
        // Updates left pending belong to the session that ended: no refresh can take them now.
        Gate::Section section(storeGate_);
        updatesSignalled_ = false;
        updates_.lower();
    }
    // Lookups the stop abandoned are freed by a watcher that must not outlive the session.
    platform::settleAbandonedLookups();
    logging::stopPeriodicFlush();
}

bool Processor::requestSessionStop() {
    // Taken, not read: of concurrent stops exactly one answers that a session ran.
    bool const wasRunning = running_.exchange(false);
    // Counted before the flags fall: a start that raised them reads the count afterwards.
    ++stopRequests_;
    api_.cancelSessionExchanges();
    requestStop();
    return wasRunning;
}

void Processor::requestStop() {
    monitorRunning_ = false;
    running_ = false;
    commands_.wake();
    updates_.wakeAll();
    noteStartProgress();
}

std::uint64_t Processor::startProgress() {
    std::lock_guard<std::mutex> lock(progressMutex_);
    return progress_;
}

void Processor::waitForStartProgress(std::uint64_t seen, Clock::time_point until) {
    std::unique_lock<std::mutex> lock(progressMutex_);
    progressChanged_.wait_until(lock, until, [&] { return progress_ != seen; });
}

void Processor::noteStartProgress() {
    std::lock_guard<std::mutex> lock(progressMutex_);
    ++progress_;
    progressChanged_.notify_all();
}

}  // namespace corvo::session
