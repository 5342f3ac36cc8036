// The steps of one session start on the host's thread, for the library's `start`, which holds
// the lifecycle while they run. Every exchange and wait of a start ends within one bound.
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

// Starts a session and waits until its stream is connected; a start that fails leaves no
// session thread behind. The legacy texts keep the legacy start's ways: an error status's body
// is read as the reply, an unreadable port answers after a pause; the C interface's servers take
// an error status as the failure it is. A stop counted after `stopRequests` ends the start.
StartResult startSession(session::Processor& session, StartArguments arguments,
                         std::uint64_t stopRequests);

}  // namespace corvo::exports
