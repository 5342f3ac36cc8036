#include "sim/api_service.h"

#include <algorithm>
#include <charconv>
#include <ctime>

#include "peer/wire_protocol.h"

namespace corvo::sim {
namespace {

using testing::Reply;

// Day keys a client may be using: ours, and the neighbours across a midnight in between.
std::vector<std::string> acceptableDayKeys(std::int32_t offset) {
    std::time_t const now = std::time(nullptr);
    std::vector<std::string> keys;
    for (std::time_t const shift : {0, -600, 600}) {
        std::string key = peer::dayKeyAt(now + shift, offset);
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

// The login field of /authen: a whole decimal number and nothing else.
std::optional<std::int32_t> loginOf(const std::string& field) {
    std::int32_t login = 0;
    auto const [end, error] = std::from_chars(field.data(), field.data() + field.size(), login);
    if (error != std::errc() || end != field.data() + field.size()) {
        return std::nullopt;
    }
    return login;
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
        std::string const secret = peer::xorWithKey(settings_.clientSecret, day);
        if (target == "/feedback") {
            if (startsWith(plaintext, secret + "|")) {
                return Credentials{"", plaintext.substr(secret.size())};
            }
            continue;
        }
        for (const auto& [key, login] : settings_.accounts) {
            std::string const block = peer::credentialBlock(key, settings_.clientSecret, day);
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
        plaintext = peer::decryptPayload(request.body, settings_.aesKey, settings_.aesIv);
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
        auto const login = loginOf(field);
        bool const known = login && settings_.accounts.at(credentials.account) == *login;
        return Reply::text(known ? "1" : "0");
    }
    if (target == "/feedback") {
        return Reply::text("1");
    }
    // The data targets: each answers one text of the market, from the field or without one.
    using Data = std::function<std::string(const MarketUniverse&, const std::string&)>;
    static const std::map<std::string, Data> kDataTargets{
        {"/getsymboldatas", [](auto& m, auto& code) { return m.snapshot(code); }},
        {"/getsymboldatas_ea", [](auto& m, auto& code) { return m.snapshot(code); }},
        {"/gettop20datas", [](auto& m, auto&) { return m.top20(); }},
        {"/getfundalastyearallsym", [](auto& m, auto&) { return m.fundamentalsAll(); }},
        {"/getfundalatestsinglesym", [](auto& m, auto& code) { return m.fundamental(code); }},
        {"/getiaa", [](auto& m, auto& code) { return m.iaa(code); }},
        {"/get_iaa_all_symbols", [](auto& m, auto&) { return m.iaaAll(); }},
        {"/get_key_market_statistics_performance",
         [](auto& m, auto&) { return m.keyStatistics(); }},
        {"/getvolume", [](auto& m, auto& code) { return m.volume(code); }},
        {"/getvolumeallsymbols", [](auto& m, auto&) { return m.volumesAll(); }},
    };
    auto const data = kDataTargets.find(target);
    if (data != kDataTargets.end()) {
        return Reply::text(data->second(market_, field));
    }
    return refused(404);
}

}  // namespace corvo::sim
