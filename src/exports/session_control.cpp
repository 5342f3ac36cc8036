#include "exports/session_control.h"

#include "exports/library_objects.h"
#include "platform/platform.h"
#include "trace/trace.h"

namespace corvo::exports {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::chrono::milliseconds kPollInterval{20};
constexpr std::chrono::seconds kStartBound{15};
// The legacy start answers an unreadable API port only after this pause.
constexpr std::chrono::milliseconds kUnreadablePortPause{2000};

// Waits until the subscriber has connected. A session whose threads ended, that did not connect
// by `until`, that a host asked to stop, or whose library began to end, is stopped and reported
// as not started.
StartResult waitUntilRunning(session::Processor& session, Clock::time_point until,
                             std::uint64_t stopRequests) {
    trace::text("Wait for initial success: ");
    while (!session.running) {
        std::string reason;
        if (!session.monitorAlive) {
            reason = "the session's threads ended before the stream " + session.endpoint() +
                     " was connected";
        } else if (Clock::now() >= until) {
            reason = "the stream " + session.endpoint() + " was not connected within " +
                     std::to_string(kStartBound.count()) + " s";
        } else if (libraryEnding()) {
            reason = "the library is ending";
        } else if (session.stopRequests() != stopRequests) {
            reason = "a stop was asked for during the start";
        }
        if (!reason.empty()) {
            session.endSession();
            return {StartOutcome::failed, reason};
        }
        platform::pause(kPollInterval);
    }
    return {StartOutcome::started, {}};
}

// The start's plan, or why the servers cannot be used.
api::Outcome<session::StartPlan> planOf(StartArguments& arguments, Clock::time_point until,
                                        std::uint64_t stopRequests) {
    session::StartPlan plan{std::move(arguments.key), arguments.login, {}, {}, until, stopRequests};
    if (auto* const servers = std::get_if<session::SessionServers>(&arguments.servers)) {
        plan.servers = std::move(*servers);
        plan.errorStatus = api::ErrorStatus::asFailure;
        return plan;
    }
    auto const& texts = std::get<LegacyServerTexts>(arguments.servers);
    auto legacy = session::readLegacyServers(texts.zmqServer, texts.apiServer);
    if (!legacy.servers) {
        if (legacy.portUnreadable) {
            trace::text("Error exception:", "stoi");
            platform::pause(kUnreadablePortPause);
        }
        return legacy.servers.failure();
    }
    plan.servers = std::move(legacy.servers).value();
    plan.errorStatus = api::ErrorStatus::asReply;
    return plan;
}

StartResult startSession(session::Processor& session, StartArguments arguments,
                         std::uint64_t stopRequests) {
    PhaseScope const starting(SessionPhase::starting);
    auto const until = Clock::now() + kStartBound;
    // Threads of a session that failed by itself may still be winding down.
    session.endSession();
    auto plan = planOf(arguments, until, stopRequests);
    if (!plan) {
        return {StartOutcome::failed, plan.failure().reason};
    }
    auto const initialized = session.Initialize(std::move(plan).value());
    trace::text("Initial result: ", initialized.ok() ? 1 : 0);
    if (!initialized) {
        session.endSession();
        return {StartOutcome::failed, initialized.failure().reason};
    }
    auto result = waitUntilRunning(session, until, stopRequests);
    trace::text("Initial success");
    return result;
}

}  // namespace

StartResult startUnlessRunning(session::Processor& session, StartArguments arguments) {
    std::lock_guard<std::mutex> lock(lifecycleMutex());
    // A stop asked from now on ends this start.
    std::uint64_t const stopRequests = session.stopRequests();
    if (libraryEnding()) {
        return {StartOutcome::libraryEnding, {}};
    }
    if (session.running) {
        trace::text("already init");
        return {StartOutcome::alreadyRunning, {}};
    }
    StartResult result{StartOutcome::failed, {}};
    try {
        result = startSession(session, std::move(arguments), stopRequests);
    } catch (const std::exception& error) {
        trace::text("Error exception:", error.what());
        session.endSession();
        result.reason = std::string("the session could not be started: ") + error.what();
    }
    // An end that began meanwhile wins: the session it asked to stop must not live on.
    if (libraryEnding()) {
        session.endSession();
        return {StartOutcome::libraryEnding, {}};
    }
    return result;
}

bool stopSession(session::Processor& session) {
    // Taken, not read: of concurrent stops exactly one answers that a session ran.
    bool const wasRunning = session.running.exchange(false);
    // Asked before the lifecycle mutex: a start holding it gives up at once, and exchanges in
    // flight end as failed, so the stop never waits on the network.
    session.requestSessionStop();
    std::lock_guard<std::mutex> lock(lifecycleMutex());
    PhaseScope const stopping(SessionPhase::stopping);
    // Without a running session there may still be threads of one that failed by itself: they
    // are joined all the same, so nothing of the library runs once this returns.
    session.endSession();
    return wasRunning;
}

}  // namespace corvo::exports
