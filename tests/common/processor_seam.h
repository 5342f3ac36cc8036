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

}  // namespace corvo::session
