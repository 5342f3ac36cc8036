// The failures corvo-host reports; main maps each kind to its exit status.
#pragma once

#include <stdexcept>
#include <string>

namespace corvo::host {

// A malformed command line: usage on stderr, exit status 2.
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Anything else that ends the run early: the message on stderr, exit status 1.
struct HostError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Ctrl-C ended a watch: the session is stopped and the library ended, then the host exits
// with 130, as a shell reports a program ended by SIGINT.
struct Interrupted : std::runtime_error {
    Interrupted()
        : std::runtime_error("interrupted: the session is stopped and the library ended") {}
};

// An export answered false. The library gives no reason, so the message points at its trace.
struct ExportFailed : HostError {
    explicit ExportFailed(const std::string& exportName, const std::string& context = {})
        : HostError(exportName + " answered false" + (context.empty() ? "" : " (" + context + ")") +
                    "; set CORVO_TRACE=stderr to see why") {}
};

}  // namespace corvo::host
