// Calling the corvo_ functions: a failed result becomes CallFailed carrying the library's own
// reason, and memory the library hands out is copied and released at once.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "host_errors.h"
#include "library_loader.h"

namespace corvo::host {

// A corvo_ function returned a failure; unlike the ea_/cs_ exports it says why.
struct CallFailed : HostError {
    CallFailed(const std::string& function, const std::string& resultName,
               const std::string& reason, const std::string& context = {});
};

// Throws CallFailed unless `result` is CORVO_OK.
void check(const Exports& exports, const char* function, corvo_result result,
           const std::string& context = {});

// A function handing back library memory: `call(&text, &length)` returns its result.
template <class Call>
std::string handedOut(const Exports& exports, const char* function, Call call) {
    char* text = nullptr;
    std::size_t length = 0;
    corvo_result const result = call(&text, &length);
    auto const release = [&exports](char* memory) { exports.corvo_free(memory); };
    std::unique_ptr<char, decltype(release)> const owned(text, release);
    // Checked before the release, which is itself a call that may reset the reason.
    check(exports, function, result);
    return text == nullptr ? std::string() : std::string(text, length);
}

// The corvo_status JSON text; works in every session state and family.
std::string readStatus(const Exports& exports);

}  // namespace corvo::host
