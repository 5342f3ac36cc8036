#include "sim/api_service.h"

#include <ctime>

#include "api/payload_cipher.h"
#include "api/reply_number.h"
#include "support/payload_decrypt.h"

namespace corvo::sim {
namespace {

using testing::Reply;

// Day keys a client may be using: ours, and the neighbours across a midnight in between.
std::vector<std::string> acceptableDayKeys(std::int32_t offset) {
    std::time_t const now = std::time(nullptr);
    std::vector<std::string> keys;
    for (std::time_t const shift : {0, -600, 600}) {
        std::string key = api::dayKeyAt(now + shift, offset);
        if (std::find(keys.begin(), keys.end(), key) == keys.end()) {
            keys.push_back(std::move(key));
        }
    }
    return keys;
}

bool startsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

// The single field after the credential block ("|CODE"), or nothing.
std::string fieldAfter(const std::string& rest) {
    return rest.empty() ? rest : rest.substr(1);
}

Reply refused(int status) {
    return Reply::text("0", status);
}

}  // namespace

ApiService::ApiService(ApiSettings settings, MarketUniverse& market, Log log)
    : settings_(std::move(settings)), market_(market), log_(std::move(log)) {}

std::optional<ApiService::Credentials> ApiService::verify(const std::string& target,
                                                          const std::string& plaintext) const {
    // Scrambled bytes may themselves be "|", so the block is matched whole, never split.
    for (const auto& day : acceptableDayKeys(settings_.dayKeyOffset)) {
        std::string const secret = api::xorWithKey(settings_.clientSecret, day);
        if (target == "/feedback") {
            if (startsWith(plaintext, secret + "|")) {
                return Credentials{"", plaintext.substr(secret.size())};
            }
            continue;
        }
        for (const auto& [key, login] : settings_.accounts) {
            std::string const block = api::xorWithKey(key, day) + "|" + secret;
            if (startsWith(plaintext, block)) {
                return Credentials{key, plaintext.substr(block.size())};
            }
        }
    }
    return std::nullopt;
}

Reply ApiService::answer(const testing::RecordedRequest& request) const {
    std::string plaintext;
    try {
        plaintext = testing::decryptPayload(request.body, settings_.aesKey, settings_.aesIv);
    } catch (const std::exception&) {
        log_(request.target + " 400 undecryptable body of " + std::to_string(request.body.size()) +
             " bytes");
        return refused(400);
    }
    auto const credentials = verify(request.target, plaintext);
    if (!credentials) {
        log_(request.target + " 401 credentials do not match");
        return refused(401);
    }
    Reply reply = route(request.target, *credentials);
    log_(request.target + " " + std::to_string(reply.status) +
         (credentials->account.empty() ? "" : " account=" + credentials->account) + " " +
         std::to_string(reply.body.size()) + " bytes");
    return reply;
}

Reply ApiService::route(const std::string& target, const Credentials& credentials) const {
    std::string const field = fieldAfter(credentials.rest);
    if (target == "/balancer") {
        return Reply::text(std::to_string(settings_.streamPort));
    }
    if (target == "/authen") {
        auto const login = api::readDecimal(field);
        bool const known = login && settings_.accounts.at(credentials.account) == *login;
        return Reply::text(known ? "1" : "0");
    }
    if (target == "/feedback") {
        return Reply::text("1");
    }
    if (target == "/getsymboldatas" || target == "/getsymboldatas_ea") {
        return Reply::text(market_.snapshot(field));
    }
    if (target == "/gettop20datas") {
        return Reply::text(market_.top20());
    }
    if (target == "/getfundalastyearallsym") {
        return Reply::text(market_.fundamentalsAll());
    }
    if (target == "/getfundalatestsinglesym") {
        return Reply::text(market_.fundamental(field));
    }
    if (target == "/getiaa") {
        return Reply::text(market_.iaa(field));
    }
    if (target == "/get_iaa_all_symbols") {
        return Reply::text(market_.iaaAll());
    }
    if (target == "/get_key_market_statistics_performance") {
        return Reply::text(market_.keyStatistics());
    }
    if (target == "/getvolume") {
        return Reply::text(market_.volume(field));
    }
    if (target == "/getvolumeallsymbols") {
        return Reply::text(market_.volumesAll());
    }
    return refused(404);
}

}  // namespace corvo::sim
