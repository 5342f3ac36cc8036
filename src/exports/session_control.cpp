#include "exports/session_control.h"

#include "exports/library_objects.h"
#include "platform/platform.h"
#include "trace/failure.h"
#include "trace/trace.h"

namespace corvo::exports {
namespace {

constexpr std::chrono::milliseconds kPollInterval{20};
constexpr std::chrono::seconds kStartBound{15};

// Waits until the subscriber has connected. A session whose threads ended, or that did not
// connect within the bound, is stopped and reported as not started.
bool waitUntilRunning(session::Processor& session) {
    trace::text("Wait for initial success: ");
    auto const deadline = std::chrono::steady_clock::now() + kStartBound;
    while (!session.running) {
        bool const threadsEnded = !session.monitorAlive;
        if (threadsEnded || std::chrono::steady_clock::now() >= deadline) {
            failure::note(threadsEnded
                              ? "the session's threads ended before the stream " +
                                    session.endpoint() + " was connected"
                              : "the stream " + session.endpoint() + " was not connected within " +
                                    std::to_string(kStartBound.count()) + " s");
            session.endSession();
            return false;
        }
        platform::pause(kPollInterval);
    }
    return true;
}

bool startSession(session::Processor& session, StartArguments arguments) {
    PhaseScope const starting(SessionPhase::starting);
    // Threads of a session that failed by itself may still be winding down.
    session.endSession();
    std::int32_t result = 0;
    try {
        result = session.Initialize(std::move(arguments.key), arguments.login,
                                    std::move(arguments.zmqServer), std::move(arguments.apiServer));
    } catch (const std::exception& error) {
        trace::text("Error exception:", error.what());
        failure::note(std::string("the session could not be started: ") + error.what());
        result = 0;
    }
    trace::text("Initial result: ", result);
    if (result == 1 && !waitUntilRunning(session)) {
        result = 0;
    }
    trace::text("Initial success");
    return result != 0;
}

}  // namespace

StartOutcome startUnlessRunning(session::Processor& session, StartArguments arguments) {
    std::lock_guard<std::mutex> lock(lifecycleMutex());
    if (libraryEnding()) {
        return StartOutcome::libraryEnding;
    }
    if (session.running) {
        trace::text("already init");
        return StartOutcome::alreadyRunning;
    }
    return startSession(session, std::move(arguments)) ? StartOutcome::started
                                                       : StartOutcome::failed;
}

bool stopSession(session::Processor& session) {
    std::lock_guard<std::mutex> lock(lifecycleMutex());
    bool const wasRunning = session.running;
    PhaseScope const stopping(SessionPhase::stopping);
    // Without a running session there may still be threads of one that failed by itself: they
    // are joined all the same, so nothing of the library runs once this returns.
    session.endSession();
    return wasRunning;
}

}  // namespace corvo::exports
