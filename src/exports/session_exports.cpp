// Session exports of the ea_ and cs_ families. Starts and stops are serialised by the lifecycle
// mutex.
#include "exports/conventions.h"
#include "exports/session_control.h"

namespace {

using corvo::exports::insideLibrary;
using corvo::exports::lifecycleMutex;
using corvo::exports::narrow;
using corvo::session::Processor;
namespace trace = corvo::trace;

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
        return corvo::exports::startSession(
            session, {narrow(key), login, narrow(zmqServer), narrow(apiServer)});
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
        return corvo::exports::startSession(session, {key, login, zmqServer, apiServer});
    });
}

CORVO_API bool ea_Deinitial() {
    return insideLibrary(false, [](Processor& session) {
        trace::text("ea_Deinitial");
        std::lock_guard<std::mutex> lock(lifecycleMutex());
        return corvo::exports::stopSession(session);
    });
}

CORVO_API bool cs_Deinitial() {
    return corvo::exports::guarded(false, [] { return corvo::exports::endLibrary(); });
}
