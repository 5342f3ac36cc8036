#include "exports/c_conventions.h"

#include <cstdlib>
#include <cstring>

namespace corvo::exports {

const char* resultName(corvo_result result) noexcept {
    switch (result) {
        case CORVO_OK:
            return "ok";
        case CORVO_NOT_RUNNING:
            return "not running";
        case CORVO_BAD_ARGUMENT:
            return "bad argument";
        case CORVO_BUFFER_TOO_SMALL:
            return "buffer too small";
        case CORVO_EXCHANGE_FAILED:
            return "exchange failed";
        case CORVO_NOTHING_PENDING:
            return "nothing pending";
        case CORVO_TORN_DOWN:
            return "torn down";
        case CORVO_START_FAILED:
            return "start failed";
        case CORVO_REFUSED:
            return "refused";
        case CORVO_NOT_FOUND:
            return "not found";
        case CORVO_NO_MEMORY:
            return "no memory";
        case CORVO_INTERNAL:
            return "internal error";
        case CORVO_ALREADY_RUNNING:
            return "already running";
        case CORVO_BUSY:
            return "busy";
        default:
            return "unknown result";
    }
}

void noteReasonFor(corvo_result result) noexcept {
    if (result == CORVO_OK || failure::noted()) {
        return;
    }
    try {
        switch (result) {
            case CORVO_NOT_RUNNING:
                failure::note("no session runs");
                break;
            case CORVO_TORN_DOWN:
                failure::note("the library has ended: nothing may follow corvo_end");
                break;
            default:
                failure::note(resultName(result));
                break;
        }
    } catch (...) {
        // Tracing failed; the code alone must do.
    }
}

corvo_result handOut(std::string_view text, char** out, size_t* length) {
    // malloc, so that corvo_free (free) matches whatever runtime the host has.
    auto* const copy = static_cast<char*>(std::malloc(text.size() + 1));
    if (copy == nullptr) {
        return CORVO_NO_MEMORY;
    }
    std::memcpy(copy, text.data(), text.size());
    copy[text.size()] = '\0';
    *out = copy;
    if (length != nullptr) {
        *length = text.size();
    }
    return CORVO_OK;
}

corvo_result reportFailure(const api::Failure& failure) {
    failure::note(failure.reason);
    switch (failure.kind) {
        case api::FailureKind::refused:
            return CORVO_REFUSED;
        case api::FailureKind::notFound:
            return CORVO_NOT_FOUND;
        case api::FailureKind::local:
            return CORVO_INTERNAL;
        case api::FailureKind::exchange:
        case api::FailureKind::badAnswer:
            break;
    }
    return CORVO_EXCHANGE_FAILED;
}

corvo_result handOutOrReport(const api::Outcome<std::string>& outcome, char** out, size_t* length) {
    return outcome ? handOut(outcome.value(), out, length) : reportFailure(outcome.failure());
}

}  // namespace corvo::exports
