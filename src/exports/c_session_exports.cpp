// The C interface: version, reasons, memory, session start and stop, the status and the
// diagnostics.
#include <nlohmann/json.hpp>

#include <cstdlib>

#include "CorvoStreaming_DLL.h"
#include "exports/c_conventions.h"
#include "exports/library_life.h"

namespace {

using corvo::exports::cCall;
using corvo::session::Processor;
using corvo::session::StreamHealth;

const char* stateOf(const Processor& session) {
    using corvo::exports::SessionPhase;
    switch (corvo::exports::Library::instance().phase()) {
        case SessionPhase::neverStarted:
            return "never started";
        case SessionPhase::starting:
            return "starting";
        case SessionPhase::stopping:
            return "stopping";
        case SessionPhase::settled:
            break;
    }
    return session.isRunning() ? "running" : "stopped";
}

// Milliseconds since `stamp`, or null before anything was stamped.
nlohmann::json ageOf(std::int64_t stamp) {
    if (stamp == StreamHealth::kNever) {
        return nullptr;
    }
    return StreamHealth::nowMs() - stamp;
}

nlohmann::json statusOf(const Processor& session) {
    StreamHealth const& health = session.health();
    auto const connection = session.streamMonitor().counts();
    return {{"state", stateOf(session)},
            {"endpoint", session.endpoint()},
            {"connected", session.isRunning() && connection.connected},
            {"connects", connection.connects},
            {"disconnects", connection.disconnects},
            {"moves", health.moves.load()},
            {"messages", health.messages.load()},
            {"bytes", health.bytes.load()},
            {"dropped", health.dropped.load()},
            {"last_message_age_ms", ageOf(health.lastMessageMs)},
            {"topics", health.topics.load()},
            {"pending", health.pending.load()},
            {"subscriptions", health.subscriptions.load()},
            {"top20_age_ms", ageOf(health.top20Ms)}};
}

}  // namespace

CORVO_C_API const char* corvo_version(void) {
    return CORVO_VERSION_TEXT;
}

CORVO_C_API const char* corvo_last_error(void) {
    return corvo::failure::reason();
}

CORVO_C_API const char* corvo_result_name(corvo_result result) {
    return corvo::exports::resultName(result);
}

CORVO_C_API void corvo_free(void* memory) {
    std::free(memory);
}

CORVO_C_API corvo_result corvo_start(const char* key, int32_t login, const char* api_host,
                                     int32_t api_port) {
    return cCall([&](Processor&) -> corvo_result {
        if (key == nullptr || api_host == nullptr || api_port < 1 || api_port > 65535) {
            corvo::failure::note("corvo_start needs a key, an API host and a port in 1-65535");
            return CORVO_BAD_ARGUMENT;
        }
        using corvo::exports::StartOutcome;
        auto const result = corvo::exports::Library::instance().start(
            {key, login, corvo::session::serversOf(api_host, api_port)});
        switch (result.outcome) {
            case StartOutcome::started:
                return CORVO_OK;
            case StartOutcome::alreadyRunning:
                corvo::failure::note("a session already runs: stop it before starting another");
                return CORVO_ALREADY_RUNNING;
            case StartOutcome::libraryEnding:
                return CORVO_TORN_DOWN;
            case StartOutcome::failed:
                break;
        }
        corvo::failure::note(result.reason);
        return CORVO_START_FAILED;
    });
}

CORVO_C_API corvo_result corvo_stop(void) {
    return cCall([](Processor&) -> corvo_result {
        return corvo::exports::Library::instance().stop() ? CORVO_OK : CORVO_NOT_RUNNING;
    });
}

CORVO_C_API corvo_result corvo_end(void) {
    corvo::failure::clear();
    corvo_result result = CORVO_INTERNAL;
    try {
        switch (corvo::exports::Library::instance().end()) {
            case corvo::exports::EndOutcome::ended:
                result = CORVO_OK;
                break;
            case corvo::exports::EndOutcome::busy:
                corvo::failure::note(
                    "calls still inside the library did not leave in time: do not unload it yet; "
                    "the end completes when the last of them leaves, or at the next corvo_end");
                result = CORVO_BUSY;
                break;
            case corvo::exports::EndOutcome::alreadyEnded:
                result = CORVO_TORN_DOWN;
                break;
        }
    } catch (...) {
        result = CORVO_INTERNAL;
    }
    corvo::exports::noteReasonFor(result);
    return result;
}

CORVO_C_API corvo_result corvo_status(char** json, size_t* length) {
    // The torn-down answer too is built inside the library.
    corvo::exports::Library::Scope const inside;
    corvo_result const result = cCall([&](Processor& session) -> corvo_result {
        if (json == nullptr) {
            return CORVO_BAD_ARGUMENT;
        }
        // A host's endpoint text need not be UTF-8: such bytes are shown replaced.
        auto const text =
            statusOf(session).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
        return corvo::exports::handOut(text, json, length);
    });
    // The status still answers once the library has ended: that is its state.
    if (result == CORVO_TORN_DOWN && json != nullptr) {
        corvo::failure::clear();
        return corvo::exports::handOut("{\"state\":\"torn down\"}", json, length);
    }
    return result;
}

CORVO_C_API uint32_t corvo_calculate_speed(uint32_t* sum_int, double* sum_real) {
    return cs_CalculateSpeed(sum_int, sum_real);
}

CORVO_C_API int32_t corvo_test(void) {
    return cs_Test();
}
