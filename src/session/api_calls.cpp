// The API calls of Processor. Every request is the credential block, optionally one more
// field, encrypted and posted to the call's own target. Each answers what the server said, or
// why the exchange failed; the caller reads the reply as its family needs.
#include <algorithm>

#include "api/payload_cipher.h"
#include "corvo/build_constants.h"
#include "session/processor.h"

namespace corvo::session {
namespace {

// Targets of the data calls; the calls with an instrument field pass it after the block.
constexpr char kFundaAllSym[] = "/getfundalastyearallsym";
constexpr char kFundaSingleSym[] = "/getfundalatestsinglesym";
constexpr char kIAA[] = "/getiaa";
constexpr char kIAAAllSymbols[] = "/get_iaa_all_symbols";
constexpr char kKeyMarketStatistics[] = "/get_key_market_statistics_performance";
constexpr char kVolume[] = "/getvolume";
constexpr char kVolumeAllSymbols[] = "/getvolumeallsymbols";
constexpr char kSymbolDatas[] = "/getsymboldatas";
constexpr char kSymbolDatasEa[] = "/getsymboldatas_ea";
constexpr char kTop20Datas[] = "/gettop20datas";

std::string encrypt(const std::string& plaintext) {
    return api::encryptPayload(plaintext, build::kAesKey, build::kAesIv);
}

std::string withoutBars(std::string message) {
    message.erase(std::remove(message.begin(), message.end(), '|'), message.end());
    return message;
}

}  // namespace

std::string Processor::requestPlaintext(const std::string* field) const {
    std::string key;
    {
        std::lock_guard<std::mutex> lock(sessionTextMutex_);
        key = userKey;
    }
    std::string plaintext = api::credentialBlock(key, clientSecret, api::dayKey());
    if (field != nullptr) {
        plaintext.push_back('|');
        plaintext.append(*field);
    }
    return plaintext;
}

api::PostOutcome Processor::postDataRequest(const char* target, const std::string* field,
                                            Clock::time_point until) {
    return api_.RequestPost(target, encrypt(requestPlaintext(field)), until);
}

api::PostOutcome Processor::authen(std::int32_t account, Clock::time_point until) {
    std::string const field = std::to_string(account);
    return postDataRequest("/authen", &field, until);
}

api::PostOutcome Processor::getZMQPort(Clock::time_point until) {
    return postDataRequest("/balancer", nullptr, until);
}

api::PostOutcome Processor::feedback(std::int32_t account, std::int32_t second, std::int32_t third,
                                     std::int32_t fourth, std::string message) {
    // The only request without the user key: the scrambled client secret opens it.
    std::string plaintext = api::xorWithKey(clientSecret, api::dayKey());
    for (std::int32_t const number : {account, second, third, fourth}) {
        plaintext.push_back('|');
        plaintext.append(std::to_string(number));
    }
    plaintext.push_back('|');
    plaintext.append(withoutBars(std::move(message)));
    return api_.RequestPost("/feedback", encrypt(plaintext));
}

api::PostOutcome Processor::getFundaAllSym() {
    return postDataRequest(kFundaAllSym, nullptr);
}

api::PostOutcome Processor::getFundaSingleSym(std::string symbol) {
    return postDataRequest(kFundaSingleSym, &symbol);
}

api::PostOutcome Processor::getIAA(std::string symbol) {
    return postDataRequest(kIAA, &symbol);
}

api::PostOutcome Processor::getIAAAllSymbols() {
    return postDataRequest(kIAAAllSymbols, nullptr);
}

api::PostOutcome Processor::getKeyMarketStatisticsPerformance() {
    return postDataRequest(kKeyMarketStatistics, nullptr);
}

api::PostOutcome Processor::getVolume(std::string symbol) {
    return postDataRequest(kVolume, &symbol);
}

api::PostOutcome Processor::getVolumeAllSymbols() {
    return postDataRequest(kVolumeAllSymbols, nullptr);
}

api::PostOutcome Processor::getSymbolDatas(std::string symbols, bool ea) {
    return postDataRequest(ea ? kSymbolDatasEa : kSymbolDatas, &symbols);
}

api::PostOutcome Processor::getTop20Datas() {
    return postDataRequest(kTop20Datas, nullptr);
}

}  // namespace corvo::session
