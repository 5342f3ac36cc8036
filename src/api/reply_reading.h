// How the calls read what the API answered: a body, or a number, or a failure. The legacy
// families take an error status's body as the reply, as they always have; the C interface
// takes it as the failure it is. Pure.
#pragma once

#include <cstdint>
#include <string>

#include "api/api_client.h"
#include "api/outcome.h"

namespace corvo::api {

// How a reply with a status outside 2xx is taken.
enum class ErrorStatus {
    asReply,    // its body is the reply
    asFailure,  // HTTP 4xx is a refusal, any other status a failed exchange
};

// The reply's body, or a failure as `policy` says; a failed exchange stays failed.
Outcome<std::string> replyBody(Outcome<ApiClient::Reply> reply, ErrorStatus policy);

// The body read as a lenient decimal number; a body that holds none is a bad answer.
Outcome<std::int32_t> replyNumber(Outcome<ApiClient::Reply> reply, ErrorStatus policy);

// The legacy reading of a number: a failed exchange is the text "0", itself a number.
Outcome<std::int32_t> legacyNumber(Outcome<ApiClient::Reply> reply);

// What the legacy families hand over: the text, or "0" when the exchange failed.
std::string legacyText(Outcome<std::string> outcome);

// The start of `text` for a reason: at most `limit` bytes, control bytes shown as '?'.
std::string excerpt(const std::string& text, std::size_t limit = 64);

}  // namespace corvo::api
