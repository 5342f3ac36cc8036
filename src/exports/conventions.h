// Conventions shared by every export: UTF-16 narrowing and widening for the ea_ family, and
// the guard that keeps exceptions from crossing the C boundary.
#pragma once

#include <exception>
#include <string>
#include <string_view>

#include "CorvoStreaming_DLL.h"
#include "exports/library_life.h"
#include "trace/trace.h"

namespace corvo::exports {

// The low byte of each unit up to the first zero unit; no code-page conversion.
std::string narrow(const corvo_char16* text);

// Each byte sign-extended to one unit, copied from out[0] on; no terminating zero. Writes
// nothing for an empty text.
void widenInto(std::string_view text, corvo_char16* out);

// Runs an export body; any exception becomes `failure` so the host never sees one.
template <class Result, class Body>
Result guarded(Result failure, Body&& body) noexcept {
    try {
        return body();
    } catch (...) {
        return failure;
    }
}

// Runs an export body inside the library (see Library::Scope) with no exception crossing the
// boundary. The body gets the Processor; once the library's end has begun the export answers
// `failure` without running it.
template <class Result, class Body>
Result insideLibrary(Result failure, Body&& body) noexcept {
    return guarded(failure, [&]() -> Result {
        Library::Scope const scope;
        if (scope.processor() == nullptr) {
            return failure;
        }
        return body(*scope.processor());
    });
}

// As insideLibrary, for exports that need a running session: without one they answer
// `failure` at once.
template <class Result, class Body>
Result whileRunning(Result failure, Body&& body) noexcept {
    return insideLibrary(failure, [&](session::Processor& session) -> Result {
        if (!session.isRunning()) {
            return failure;
        }
        return body(session);
    });
}

// Runs a body whose standard exceptions are traced with `prefix` and answer false.
template <class Body>
bool tracingFailures(const char* prefix, Body&& body) {
    try {
        return body();
    } catch (const std::exception& error) {
        trace::text(prefix, error.what());
        return false;
    }
}

}  // namespace corvo::exports
