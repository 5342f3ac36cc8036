#include "exports/session_start.h"

#include "platform/platform.h"
#include "trace/trace.h"

namespace corvo::exports {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::chrono::seconds kStartBound{15};
// The legacy start answers an unreadable API port only after this pause.
constexpr std::chrono::milliseconds kUnreadablePortPause{2000};

// Why a stream that did not become ready within the bound failed.
std::string notReadyReason(const session::Processor& session) {
    auto const counts = session.streamMonitor().counts();
    std::string reason = "the stream " + session.endpoint();
    if (!session.isRunning()) {
        reason += " was not connected";
    } else if (counts.handshakeFailures > 0) {
        reason += " refused the secure handshake (" + std::to_string(counts.handshakeFailures) +
                  " attempts failed)";
    } else {
        reason += " did not complete the secure handshake";
    }
    return reason + " within " + std::to_string(kStartBound.count()) + " s";
}

// Waits until the subscriber has connected (and, in a quick start, until the stream is ready).
// A session whose threads ended, that was not ready by `until`, or that was asked to stop (the
// library's end asks too) is reported as not started.
StartResult waitUntilRunning(session::Processor& session, bool quick, Clock::time_point until,
                             std::uint64_t stopRequests) {
    trace::text("Wait for initial success: ");
    while (true) {
        std::uint64_t const seen = session.startProgress();
        if (session.isRunning() && (!quick || session.streamReady())) {
            return {StartOutcome::started, {}};
        }
        std::string reason;
        if (session.sessionThreadsEnded()) {
            reason = "the session's threads ended before the stream " + session.endpoint() +
                     " was connected";
        } else if (Clock::now() >= until) {
            reason = notReadyReason(session);
        } else if (session.stopRequests() != stopRequests) {
            reason = "a stop was asked for during the start";
        }
        if (!reason.empty()) {
            return {StartOutcome::failed, reason};
        }
        session.waitForStartProgress(seen, until);
    }
}

// The start's plan, or why the servers cannot be used.
api::Outcome<session::StartPlan> planOf(StartArguments& arguments, Clock::time_point until,
                                        std::uint64_t stopRequests) {
    session::StartPlan plan{std::move(arguments.key), arguments.login, {}, {}, until, stopRequests};
    if (auto* const servers = std::get_if<session::SessionServers>(&arguments.servers)) {
        plan.servers = std::move(*servers);
        plan.errorStatus = api::ErrorStatus::asFailure;
        plan.quick = true;
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

StartResult runStart(session::Processor& session, StartArguments arguments,
                     std::uint64_t stopRequests) {
    auto const until = Clock::now() + kStartBound;
    // Threads of a session that failed by itself may still be winding down.
    session.endSession();
    auto plan = planOf(arguments, until, stopRequests);
    if (!plan) {
        return {StartOutcome::failed, plan.failure().reason};
    }
    bool const quick = plan.value().quick;
    auto const initialized = session.Initialize(std::move(plan).value());
    trace::text("Initial result: ", initialized.ok() ? 1 : 0);
    if (!initialized) {
        return {StartOutcome::failed, initialized.failure().reason};
    }
    auto result = waitUntilRunning(session, quick, until, stopRequests);
    trace::text("Initial success");
    return result;
}

}  // namespace

StartResult startSession(session::Processor& session, StartArguments arguments,
                         std::uint64_t stopRequests) {
    StartResult result{StartOutcome::failed, {}};
    try {
        result = runStart(session, std::move(arguments), stopRequests);
    } catch (const std::exception& error) {
        trace::text("Error exception:", error.what());
        result.reason = std::string("the session could not be started: ") + error.what();
    }
    if (result.outcome != StartOutcome::started) {
        session.endSession();
    }
    return result;
}

}  // namespace corvo::exports
