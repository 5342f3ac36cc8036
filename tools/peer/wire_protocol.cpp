#include "peer/wire_protocol.h"

#include <openssl/evp.h>

#include <memory>
#include <stdexcept>

namespace corvo::peer {
namespace {

constexpr std::size_t kBlock = 16;

using CipherContext = std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)>;

// Raw CBC in either direction, with OpenSSL's own padding switched off: the padding is added
// and checked here, byte for byte as the protocol states it.
std::string rawCbc(const std::string& input, const AesBlock& key, const AesBlock& iv,
                   bool encrypt) {
    CipherContext context(EVP_CIPHER_CTX_new(), EVP_CIPHER_CTX_free);
    std::string output(input.size() + kBlock, '\0');
    int written = 0;
    int tail = 0;
    bool const ok =
        context &&
        EVP_CipherInit_ex(context.get(), EVP_aes_128_cbc(), nullptr, key.data(), iv.data(),
                          encrypt ? 1 : 0) == 1 &&
        EVP_CIPHER_CTX_set_padding(context.get(), 0) == 1 &&
        EVP_CipherUpdate(context.get(), reinterpret_cast<unsigned char*>(output.data()), &written,
                         reinterpret_cast<const unsigned char*>(input.data()),
                         static_cast<int>(input.size())) == 1 &&
        EVP_CipherFinal_ex(context.get(), reinterpret_cast<unsigned char*>(output.data()) + written,
                           &tail) == 1;
    if (!ok) {
        throw std::runtime_error("wire protocol: AES-128-CBC failed");
    }
    output.resize(static_cast<std::size_t>(written + tail));
    return output;
}

}  // namespace

std::string dayKeyAt(std::time_t now, std::int32_t offsetSeconds) {
    std::time_t const shifted = now + offsetSeconds;
    std::tm local{};
    if (localtime_r(&shifted, &local) == nullptr) {
        throw std::runtime_error("wire protocol: no local time");
    }
    return std::to_string((local.tm_year + 1900) - (local.tm_mon + 1) * local.tm_mday);
}

std::string dayKey(std::int32_t offsetSeconds) {
    return dayKeyAt(std::time(nullptr), offsetSeconds);
}

std::string xorWithKey(const std::string& data, const std::string& key) {
    std::string out(data.size(), '\0');
    for (std::size_t i = 0; i < data.size(); ++i) {
        out[i] = static_cast<char>(static_cast<unsigned char>(data[i]) ^
                                   static_cast<unsigned char>(key[i % key.size()]));
    }
    return out;
}

std::string credentialBlock(const std::string& userKey, const std::string& clientSecret,
                            const std::string& day) {
    return xorWithKey(userKey, day) + "|" + xorWithKey(clientSecret, day);
}

std::string encryptPayload(const std::string& plaintext, const AesBlock& key, const AesBlock& iv) {
    std::size_t const pad = kBlock - plaintext.size() % kBlock;
    return rawCbc(plaintext + std::string(pad, static_cast<char>(pad)), key, iv, true);
}

std::string decryptPayload(const std::string& ciphertext, const AesBlock& key, const AesBlock& iv) {
    if (ciphertext.empty() || ciphertext.size() % kBlock != 0) {
        throw std::runtime_error("wire protocol: ciphertext of " +
                                 std::to_string(ciphertext.size()) + " bytes");
    }
    std::string plaintext = rawCbc(ciphertext, key, iv, false);
    auto const pad = static_cast<unsigned char>(plaintext.back());
    bool valid = pad >= 1 && pad <= kBlock;
    for (std::size_t i = 0; valid && i < pad; ++i) {
        valid = static_cast<unsigned char>(plaintext[plaintext.size() - 1 - i]) == pad;
    }
    if (!valid) {
        throw std::runtime_error("wire protocol: bad PKCS#7 padding");
    }
    plaintext.resize(plaintext.size() - pad);
    return plaintext;
}

}  // namespace corvo::peer
