// Session exports. Starts and stops are serialised by the lifecycle mutex, and every wait is
// bounded or ends with the session threads, so a failed start never leaves the host stuck.
#include "exports/conventions.h"
#include "exports/library_objects.h"
#include "logging/logger_setup.h"
#include "platform/platform.h"

namespace {

using corvo::exports::guarded;
using corvo::exports::lifecycleMutex;
using corvo::exports::narrow;
using corvo::exports::processor;
using corvo::session::Processor;
namespace trace = corvo::trace;

constexpr std::chrono::milliseconds kPollInterval{20};
constexpr std::chrono::seconds kStartBound{15};

void waitForSessionThreadsToEnd(Processor& session) {
    while (!session.sessionThreadsEnded()) {
        corvo::platform::pause(kPollInterval);
    }
}

// Waits until the subscriber has connected. A session whose threads ended, or that did not
// connect within the bound, is stopped and reported as not started.
bool waitUntilRunning(Processor& session) {
    trace::text("Wait for initial success: ");
    auto const deadline = std::chrono::steady_clock::now() + kStartBound;
    while (!session.running) {
        if (!session.monitorAlive || std::chrono::steady_clock::now() >= deadline) {
            session.Deinitialize();
            waitForSessionThreadsToEnd(session);
            return false;
        }
        corvo::platform::pause(kPollInterval);
    }
    return true;
}

struct StartArguments {
    std::string key;
    std::int32_t login;
    std::string zmqServer;
    std::string apiServer;
};

// The common part of both Initial exports, once the session is known not to run.
bool startSession(Processor& session, StartArguments arguments) {
    // Threads of a session that failed by itself may still be winding down.
    waitForSessionThreadsToEnd(session);
    std::int32_t result = 0;
    try {
        result = session.Initialize(std::move(arguments.key), arguments.login,
                                    std::move(arguments.zmqServer), std::move(arguments.apiServer));
    } catch (const std::exception& error) {
        trace::text("Error exception:", error.what());
        result = 0;
    }
    trace::text("Initial result: ", result);
    if (result == 1 && !waitUntilRunning(session)) {
        result = 0;
    }
    trace::text("Initial success");
    return result != 0;
}

// Stops the session and waits for both threads; the logger's flush worker goes with it.
void stopSession(Processor& session) {
    session.Deinitialize();
    waitForSessionThreadsToEnd(session);
    corvo::logging::stopPeriodicFlush();
}

}  // namespace

CORVO_API bool ea_Initial(const corvo_char16* key, std::int32_t login,
                          const corvo_char16* zmqServer, const corvo_char16* apiServer) {
    return guarded(false, [&] {
        trace::text("fnInitial");
        std::lock_guard<std::mutex> lock(lifecycleMutex());
        Processor* const session = processor();
        if (session == nullptr || key == nullptr || zmqServer == nullptr || apiServer == nullptr) {
            return false;
        }
        if (session->running) {
            trace::text("already init");
            return true;
        }
        return startSession(*session, {narrow(key), login, narrow(zmqServer), narrow(apiServer)});
    });
}

CORVO_API bool cs_Initial(const char* key, std::int32_t login, const char* zmqServer,
                          const char* apiServer) {
    return guarded(false, [&] {
        trace::text("cs_Initial");
        std::lock_guard<std::mutex> lock(lifecycleMutex());
        Processor* const session = processor();
        if (session == nullptr || key == nullptr || zmqServer == nullptr || apiServer == nullptr) {
            return false;
        }
        if (session->running) {
            trace::text("already init");
            return false;
        }
        trace::text(key);
        trace::text(zmqServer);
        trace::text(apiServer);
        trace::text("ea_key: ", key);
        trace::text("zmq_sever: ", zmqServer);
        trace::text("api_server: ", apiServer);
        return startSession(*session, {key, login, zmqServer, apiServer});
    });
}

CORVO_API bool ea_Deinitial() {
    return guarded(false, [] {
        trace::text("ea_Deinitial");
        std::lock_guard<std::mutex> lock(lifecycleMutex());
        Processor* const session = processor();
        if (session == nullptr || !session->running) {
            return false;
        }
        stopSession(*session);
        return true;
    });
}

CORVO_API bool cs_Deinitial() {
    return guarded(false, [] {
        std::lock_guard<std::mutex> lock(lifecycleMutex());
        Processor* const session = processor();
        if (session == nullptr) {
            return false;
        }
        stopSession(*session);
        corvo::exports::tearDownLibrary();
        return true;
    });
}
