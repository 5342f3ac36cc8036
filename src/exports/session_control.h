// Starting and stopping the one session, shared by the start and stop exports of every family.
// Both take the lifecycle mutex, so starts and stops never interleave. Every wait is bounded or
// ends with the session threads, so a failed start never leaves the host stuck and never leaves
// a thread of the library running.
#pragma once

#include <cstdint>
#include <string>

#include "session/processor.h"

namespace corvo::exports {

struct StartArguments {
    std::string key;
    std::int32_t login;
    std::string zmqServer;
    std::string apiServer;
};

enum class StartOutcome { started, alreadyRunning, failed, libraryEnding };

// Starts a session unless one runs, and waits until its stream is connected. A failure notes its
// reason for the thread.
StartOutcome startUnlessRunning(session::Processor& session, StartArguments arguments);

// Stops the session, or what a session that failed by itself left; answers whether one ran.
bool stopSession(session::Processor& session);

}  // namespace corvo::exports
