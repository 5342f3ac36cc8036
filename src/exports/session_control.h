// Starting and stopping the one session, shared by the start and stop exports of every family.
// Both take the lifecycle mutex, so starts and stops never interleave. Every wait is bounded or
// ends with the session threads, so a failed start never leaves the host stuck and never leaves
// a thread of the library running.
#pragma once

#include <cstdint>
#include <string>
#include <variant>

#include "session/processor.h"

namespace corvo::exports {

// The legacy hosts' texts: the stream host, and the API port that joined to it names the API.
struct LegacyServerTexts {
    std::string zmqServer;
    std::string apiServer;
};

struct StartArguments {
    std::string key;
    std::int32_t login;
    std::variant<LegacyServerTexts, session::SessionServers> servers;
};

enum class StartOutcome { started, alreadyRunning, failed, libraryEnding };

struct StartResult {
    StartOutcome outcome;
    std::string reason;  // why the start failed
};

// Starts a session unless one runs, and waits until its stream is connected. Every exchange and
// wait of the start ends within one bound. The legacy texts keep the legacy start's ways: an
// error status's body is read as the reply, an unreadable port answers after a pause; the C
// interface's servers take an error status as the failure it is.
StartResult startUnlessRunning(session::Processor& session, StartArguments arguments);

// Stops the session, or what a session that failed by itself left; answers whether one ran.
bool stopSession(session::Processor& session);

}  // namespace corvo::exports
