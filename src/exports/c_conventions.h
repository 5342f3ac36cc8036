// Conventions of the sized C interface (corvo.h): every function runs inside the library,
// starts by forgetting the thread's last failure, turns every exception into a result code,
// and leaves a reason for every failure it answers.
#pragma once

#include <new>
#include <string_view>

#include "api/outcome.h"
#include "corvo.h"
#include "exports/library_life.h"
#include "trace/failure.h"

namespace corvo::exports {

// The fixed name of a result code.
const char* resultName(corvo_result result) noexcept;

// Notes a reason for `result` unless the call noted a better one; never throws.
void noteReasonFor(corvo_result result) noexcept;

// Runs `body(Processor&)`, which answers a corvo_result. A library that has ended answers
// CORVO_TORN_DOWN without running it.
template <class Body>
corvo_result cCall(Body&& body) noexcept {
    // Everything, the reason included, happens inside: once an end returns, no host thread runs
    // library code but to return.
    Library::Scope const scope;
    failure::clear();
    corvo_result result = CORVO_INTERNAL;
    try {
        result = scope.processor() == nullptr ? CORVO_TORN_DOWN : body(*scope.processor());
    } catch (const std::bad_alloc&) {
        result = CORVO_NO_MEMORY;
    } catch (const std::exception& error) {
        try {
            failure::note(error.what());
        } catch (...) {
            // The code alone must do.
        }
        result = CORVO_INTERNAL;
    } catch (...) {
        result = CORVO_INTERNAL;
    }
    noteReasonFor(result);
    return result;
}

// As cCall, for functions that need a running session.
template <class Body>
corvo_result cCallRunning(Body&& body) noexcept {
    return cCall([&](session::Processor& session) -> corvo_result {
        return session.isRunning() ? body(session) : CORVO_NOT_RUNNING;
    });
}

// Hands `text` to the host in memory it releases with corvo_free, zero-terminated; `length`
// (if not null) receives its length.
corvo_result handOut(std::string_view text, char** out, size_t* length);

// Notes the failure's reason for the thread and answers its code.
corvo_result reportFailure(const api::Failure& failure);

// Hands the value of a text outcome out (see handOut), or reports its failure.
corvo_result handOutOrReport(const api::Outcome<std::string>& outcome, char** out, size_t* length);

}  // namespace corvo::exports
