#include "c_calls.h"

namespace corvo::host {

CallFailed::CallFailed(const std::string& function, const std::string& resultName,
                       const std::string& reason, const std::string& context)
    : HostError(function + " failed: " + resultName +
                (reason.empty() ? std::string() : " (" + reason + ")") +
                (context.empty() ? std::string() : "; " + context)) {}

void check(const Exports& exports, const char* function, corvo_result result,
           const std::string& context) {
    if (result == CORVO_OK) {
        return;
    }
    // The reason first: it lasts only until the thread's next call into the library.
    const char* const reason = exports.corvo_last_error();
    std::string const reasonText = reason == nullptr ? "" : reason;
    const char* const name = exports.corvo_result_name(result);
    std::string const nameText = name == nullptr ? "result " + std::to_string(result) : name;
    throw CallFailed(function, nameText, reasonText == nameText ? "" : reasonText, context);
}

std::string readStatus(const Exports& exports) {
    return handedOut(exports, "corvo_status", [&](char** json, std::size_t* length) {
        return exports.corvo_status(json, length);
    });
}

}  // namespace corvo::host
