// The one way tests and benchmarks set the session data that Initialize writes, so they can run
// the engine's threads against their own peers without a full start.
#pragma once

#include <string>

#include "session/processor.h"

namespace corvo::session {

struct ProcessorSeam {
    static void setUserKey(Processor& processor, std::string key) {
        processor.setUserKey(std::move(key));
    }
    static void setStreamEndpoint(Processor& processor, std::string endpoint) {
        processor.setStreamEndpoint(std::move(endpoint));
    }
};

// A subscription as the legacy families see it: false when the stream refused a filter or no
// session ran, the snapshot of the members that arrived in `out` otherwise.
inline bool legacySubscribe(Processor& processor, const std::string& symbols, std::string& out,
                            bool ea = false) {
    auto subscription = processor.addSymbol(symbols, ea, api::ErrorStatus::asReply);
    bool const subscribed = subscription.filtered && !subscription.stopped;
    if (subscribed) {
        out = std::move(subscription.snapshot);
    }
    return subscribed;
}

}  // namespace corvo::session
