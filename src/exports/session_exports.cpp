// Session exports. Starts and stops are serialised by the lifecycle mutex, and every wait is
// bounded or ends with the session threads, so a failed start never leaves the host stuck and
// never leaves a thread of the library running.
#include "exports/conventions.h"
#include "platform/platform.h"

namespace {

using corvo::exports::guarded;
using corvo::exports::insideLibrary;
using corvo::exports::lifecycleMutex;
using corvo::exports::narrow;
using corvo::session::Processor;
namespace trace = corvo::trace;

constexpr std::chrono::milliseconds kPollInterval{20};
constexpr std::chrono::seconds kStartBound{15};

// Waits until the subscriber has connected. A session whose threads ended, or that did not
// connect within the bound, is stopped and reported as not started.
bool waitUntilRunning(Processor& session) {
    trace::text("Wait for initial success: ");
    auto const deadline = std::chrono::steady_clock::now() + kStartBound;
    while (!session.running) {
        if (!session.monitorAlive || std::chrono::steady_clock::now() >= deadline) {
            session.endSession();
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
    session.endSession();
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

}  // namespace

CORVO_API bool ea_Initial(const corvo_char16* key, std::int32_t login,
                          const corvo_char16* zmqServer, const corvo_char16* apiServer) {
    return insideLibrary(false, [&](Processor& session) {
        trace::text("fnInitial");
        std::lock_guard<std::mutex> lock(lifecycleMutex());
        if (corvo::exports::libraryEnding() || key == nullptr || zmqServer == nullptr ||
            apiServer == nullptr) {
            return false;
        }
        if (session.running) {
            trace::text("already init");
            return true;
        }
        return startSession(session, {narrow(key), login, narrow(zmqServer), narrow(apiServer)});
    });
}

CORVO_API bool cs_Initial(const char* key, std::int32_t login, const char* zmqServer,
                          const char* apiServer) {
    return insideLibrary(false, [&](Processor& session) {
        trace::text("cs_Initial");
        std::lock_guard<std::mutex> lock(lifecycleMutex());
        if (corvo::exports::libraryEnding() || key == nullptr || zmqServer == nullptr ||
            apiServer == nullptr) {
            return false;
        }
        if (session.running) {
            trace::text("already init");
            return false;
        }
        trace::text(trace::secretPrefix(key));
        trace::text(zmqServer);
        trace::text(apiServer);
        trace::text("ea_key: ", trace::secretPrefix(key));
        trace::text("zmq_sever: ", zmqServer);
        trace::text("api_server: ", apiServer);
        return startSession(session, {key, login, zmqServer, apiServer});
    });
}

CORVO_API bool ea_Deinitial() {
    return insideLibrary(false, [](Processor& session) {
        trace::text("ea_Deinitial");
        std::lock_guard<std::mutex> lock(lifecycleMutex());
        bool const wasRunning = session.running;
        // Without a running session there may still be threads of one that failed by itself:
        // they are joined all the same, so nothing of the library runs once this returns.
        session.endSession();
        return wasRunning;
    });
}

CORVO_API bool cs_Deinitial() {
    return guarded(false, [] { return corvo::exports::endLibrary(); });
}
