#include "api/payload_cipher.h"

#include <cryptopp/filters.h>
#include <cryptopp/modes.h>
#include <cryptopp/rijndael.h>

#include <ctime>

#include "corvo/build_constants.h"
#include "platform/platform.h"

namespace corvo::api {

std::string dayKeyAt(std::time_t now, std::int32_t offsetSeconds) {
    std::tm const local = platform::localTime(now + offsetSeconds);
    std::int32_t const year = local.tm_year + 1900;
    std::int32_t const month = local.tm_mon + 1;
    return std::to_string(year - month * local.tm_mday);
}

std::string dayKey() {
    return dayKeyAt(std::time(nullptr), build::kDayKeyOffsetSeconds);
}

std::string xorWithKey(std::string data, const std::string& key) {
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<char>(data[i] ^ key[i % key.size()]);
    }
    return data;
}

std::string credentialBlock(const std::string& userKey, const std::string& clientSecret,
                            const std::string& dayKey) {
    std::string block = xorWithKey(userKey, dayKey);
    block.push_back('|');
    block.append(xorWithKey(clientSecret, dayKey));
    return block;
}

std::string encryptPayload(const std::string& plaintext, const AesBlock& key, const AesBlock& iv) {
    // Fresh cipher objects per call: nothing is chained from one request to the next.
    CryptoPP::Rijndael::Encryption aes(key.data(), key.size());
    CryptoPP::CBC_Mode_ExternalCipher::Encryption cbc(aes, iv.data());
    std::string ciphertext;
    ciphertext.reserve((plaintext.size() / 16 + 1) * 16);
    CryptoPP::StreamTransformationFilter filter(cbc, new CryptoPP::StringSink(ciphertext));
    filter.Put(reinterpret_cast<const CryptoPP::byte*>(plaintext.data()), plaintext.size());
    filter.MessageEnd();
    return ciphertext;
}

}  // namespace corvo::api
