// HTTP/1.1 wire helpers behind HttpTestServer: request head parsing and reply framing.
// Pure functions, usable from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "peer/http_test_server.h"

namespace corvo::testing::detail {

bool equalsIgnoreCase(std::string_view a, std::string_view b);

// Fills method, target and fields from `head` (request line and field lines, each ending in
// CRLF, without the final blank line). False when the head is malformed.
bool parseRequestHead(std::string_view head, RecordedRequest& out);

// Digits only, no sign or blanks; nullopt on overflow or anything else.
std::optional<std::uint64_t> parseDecimal(std::string_view text);

// Size of a chunk from its size line (without CRLF); extensions after ';' are ignored.
std::optional<std::uint64_t> parseChunkSize(std::string_view line);

// Status line, `reply.fields`, the given framing lines (each ending in CRLF) and
// "Connection: close", then the blank line.
std::string replyHead(const Reply& reply, std::string_view framingLines);

// `body` in chunked transfer coding, terminated by the last chunk.
std::string chunkedBody(std::string_view body, std::size_t chunkSize);

}  // namespace corvo::testing::detail
