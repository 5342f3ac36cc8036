// The API calls of Processor. Every request is the credential block, optionally one more
// field, encrypted and posted to the call's own target; the calls differ only in the table
// entries below and in how the reply is read.
#include <algorithm>
#include <stdexcept>

#include "api/payload_cipher.h"
#include "api/reply_number.h"
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

std::int32_t Processor::postDataRequest(const char* target, const std::string* field,
                                        std::string& out) {
    try {
        out = api_.RequestPost(target, encrypt(requestPlaintext(field)));
        return 1;
    } catch (const std::exception&) {
        return 0;
    }
}

std::int32_t Processor::postNumberRequest(const char* target, const std::string& plaintext) {
    auto const number = api::readDecimal(api_.RequestPost(target, encrypt(plaintext)));
    if (!number) {
        throw std::invalid_argument("reply is not a number");
    }
    return *number;
}

std::int32_t Processor::authen(std::int32_t account) {
    try {
        std::string const field = std::to_string(account);
        // Any number counts as announced; the value is the server's business.
        postNumberRequest("/authen", requestPlaintext(&field));
        return 1;
    } catch (const std::exception&) {
        return 0;
    }
}

std::int32_t Processor::getZMQPort() {
    try {
        return postNumberRequest("/balancer", requestPlaintext(nullptr));
    } catch (const std::exception&) {
        return 0;
    }
}

std::int32_t Processor::feedback(std::int32_t account, std::int32_t second, std::int32_t third,
                                 std::int32_t fourth, std::string message) {
    try {
        // The only request without the user key: the scrambled client secret opens it.
        std::string plaintext = api::xorWithKey(clientSecret, api::dayKey());
        for (std::int32_t const number : {account, second, third, fourth}) {
            plaintext.push_back('|');
            plaintext.append(std::to_string(number));
        }
        plaintext.push_back('|');
        plaintext.append(withoutBars(std::move(message)));
        return postNumberRequest("/feedback", plaintext);
    } catch (const std::exception&) {
        return 0;
    }
}

std::int32_t Processor::getFundaAllSym(std::string& out) {
    return postDataRequest(kFundaAllSym, nullptr, out);
}

std::int32_t Processor::getFundaSingleSym(std::string symbol, std::string& out) {
    return postDataRequest(kFundaSingleSym, &symbol, out);
}

std::int32_t Processor::getIAA(std::string symbol, std::string& out) {
    return postDataRequest(kIAA, &symbol, out);
}

std::int32_t Processor::getIAAAllSymbols(std::string& out) {
    return postDataRequest(kIAAAllSymbols, nullptr, out);
}

std::int32_t Processor::getKeyMarketStatisticsPerformance(std::string& out) {
    return postDataRequest(kKeyMarketStatistics, nullptr, out);
}

std::int32_t Processor::getVolume(std::string symbol, std::string& out) {
    return postDataRequest(kVolume, &symbol, out);
}

std::int32_t Processor::getVolumeAllSymbols(std::string& out) {
    return postDataRequest(kVolumeAllSymbols, nullptr, out);
}

bool Processor::getSymbolDatas(std::string symbols, std::string& out, bool ea) {
    const char* const target = ea ? kSymbolDatasEa : kSymbolDatas;
    return postDataRequest(target, &symbols, out) != 0;
}

bool Processor::getTop20Datas(std::string& out) {
    return postDataRequest(kTop20Datas, nullptr, out) != 0;
}

}  // namespace corvo::session
