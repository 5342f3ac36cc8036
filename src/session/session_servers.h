// Where a session's API and stream are. The C interface names the host and the port apart; the
// legacy hosts pass the stream host and the API port as two texts that, joined with ':', name
// the API. Pure.
#pragma once

#include <cstdint>
#include <string>

#include "api/outcome.h"

namespace corvo::session {

struct SessionServers {
    std::string apiHost;  // an IPv6 address without brackets
    std::int32_t apiPort = 80;
    std::string streamHost;  // as it stands before ":port" in the stream endpoint
};

// One host for both services; an IPv6 address is bracketed in the stream endpoint.
SessionServers serversOf(const std::string& host, std::int32_t apiPort);

// The legacy texts: "host" + ":" + "port" split at ':' into two pieces (host, port) or three
// (a host holding one ':', port); a bracketed IPv6 host ("[::1]") is taken whole. The port is
// read leniently. The failure says what is wrong; `portUnreadable` marks the one case the legacy
// start answers only after its pause.
struct LegacyServers {
    api::Outcome<SessionServers> servers;
    bool portUnreadable = false;
};
LegacyServers readLegacyServers(const std::string& zmqServer, const std::string& apiServer);

}  // namespace corvo::session
