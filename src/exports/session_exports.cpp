// Session exports of the ea_ and cs_ families.
#include "exports/conventions.h"

namespace {

using corvo::exports::insideLibrary;
using corvo::exports::LegacyServerTexts;
using corvo::exports::Library;
using corvo::exports::narrow;
using corvo::exports::StartOutcome;
using corvo::session::Processor;
namespace trace = corvo::trace;

}  // namespace

CORVO_API bool ea_Initial(const corvo_char16* key, std::int32_t login,
                          const corvo_char16* zmqServer, const corvo_char16* apiServer) {
    return insideLibrary(false, [&](Processor&) {
        trace::text("fnInitial");
        if (key == nullptr || zmqServer == nullptr || apiServer == nullptr) {
            return false;
        }
        auto const result = Library::instance().start(
            {narrow(key), login, LegacyServerTexts{narrow(zmqServer), narrow(apiServer)}});
        return result.outcome == StartOutcome::started ||
               result.outcome == StartOutcome::alreadyRunning;
    });
}

CORVO_API bool cs_Initial(const char* key, std::int32_t login, const char* zmqServer,
                          const char* apiServer) {
    return insideLibrary(false, [&](Processor&) {
        trace::text("cs_Initial");
        if (key == nullptr || zmqServer == nullptr || apiServer == nullptr) {
            return false;
        }
        trace::text("ea_key: ", trace::secretPrefix(key));
        trace::text("zmq_sever: ", zmqServer);
        trace::text("api_server: ", apiServer);
        // Unlike ea_Initial, a session that already runs is reported as false.
        return Library::instance()
                   .start({key, login, LegacyServerTexts{zmqServer, apiServer}})
                   .outcome == StartOutcome::started;
    });
}

CORVO_API bool ea_Deinitial() {
    return insideLibrary(false, [](Processor&) {
        trace::text("ea_Deinitial");
        return Library::instance().stop();
    });
}

CORVO_API bool cs_Deinitial() {
    return corvo::exports::guarded(
        false, [] { return Library::instance().end() == corvo::exports::EndOutcome::ended; });
}
