#include "session/session_servers.h"

#include "api/reply_number.h"
#include "session/text_fields.h"

namespace corvo::session {

SessionServers serversOf(const std::string& host, std::int32_t apiPort) {
    bool const ipv6 = host.find(':') != std::string::npos;
    return {host, apiPort, ipv6 ? "[" + host + "]" : host};
}

LegacyServers readLegacyServers(const std::string& zmqServer, const std::string& apiServer) {
    std::string const joined = zmqServer + ":" + apiServer;
    std::string host;
    std::string portText;
    std::size_t const closing = joined.find("]:");
    if (!joined.empty() && joined.front() == '[' && closing != std::string::npos) {
        host = joined.substr(1, closing - 1);
        portText = joined.substr(closing + 2);
    } else {
        auto const pieces = splitFields(joined, ':');
        if (pieces.size() != 2 && pieces.size() != 3) {
            return {api::Failure{api::FailureKind::badAnswer,
                                 "\"" + joined + "\" names no API host and port"}};
        }
        host = pieces.size() == 2 ? pieces[0] : pieces[0] + ":" + pieces[1];
        portText = pieces.back();
    }
    auto const port = api::readDecimal(portText);
    if (!port) {
        return {api::Failure{api::FailureKind::badAnswer,
                             "the API port \"" + portText + "\" is not a number"},
                true};
    }
    return {SessionServers{std::move(host), *port, zmqServer}};
}

}  // namespace corvo::session
