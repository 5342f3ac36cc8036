// Starting and stopping the one session, shared by the start and stop exports of every family.
// Callers hold the lifecycle mutex. Every wait is bounded or ends with the session threads, so a
// failed start never leaves the host stuck and never leaves a thread of the library running.
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

// Starts a session (the caller knows none runs) and waits until its stream is connected. False,
// with the reason noted for the thread, when it could not.
bool startSession(session::Processor& session, StartArguments arguments);

// Stops the session, or what a session that failed by itself left; answers whether one ran.
bool stopSession(session::Processor& session);

}  // namespace corvo::exports
