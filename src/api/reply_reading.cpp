#include "api/reply_reading.h"

#include "api/reply_number.h"

namespace corvo::api {

std::string excerpt(const std::string& text, std::size_t limit) {
    std::string shown = text.substr(0, limit);
    for (char& c : shown) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            c = '?';
        }
    }
    return text.size() > limit ? shown + "..." : shown;
}

Outcome<std::string> replyBody(Outcome<ApiClient::Reply> reply, ErrorStatus policy) {
    if (!reply) {
        return reply.failure();
    }
    ApiClient::Reply& answer = reply.value();
    bool const success = answer.status >= 200 && answer.status < 300;
    if (success || policy == ErrorStatus::asReply) {
        return std::move(answer.body);
    }
    bool const refused = answer.status >= 400 && answer.status < 500;
    std::string reason = answer.exchange + " answered HTTP " + std::to_string(answer.status);
    if (!answer.body.empty()) {
        reason += ": " + excerpt(answer.body);
    }
    return Failure{refused ? FailureKind::refused : FailureKind::exchange, std::move(reason)};
}

Outcome<std::int32_t> replyNumber(Outcome<ApiClient::Reply> reply, ErrorStatus policy) {
    std::string const exchange = reply ? reply.value().exchange : std::string();
    auto body = replyBody(std::move(reply), policy);
    if (!body) {
        return body.failure();
    }
    auto const number = readDecimal(body.value());
    if (!number) {
        return Failure{FailureKind::badAnswer,
                       exchange + " answered \"" + excerpt(body.value()) + "\", not a number"};
    }
    return *number;
}

Outcome<std::int32_t> legacyNumber(Outcome<ApiClient::Reply> reply) {
    if (!reply) {
        return 0;
    }
    return replyNumber(std::move(reply), ErrorStatus::asReply);
}

std::string legacyText(Outcome<std::string> outcome) {
    return outcome ? std::move(outcome).value() : "0";
}

}  // namespace corvo::api
