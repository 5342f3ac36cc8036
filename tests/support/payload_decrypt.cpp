#include "support/payload_decrypt.h"

#include <stdexcept>

#include <cryptopp/filters.h>
#include <cryptopp/modes.h>
#include <cryptopp/rijndael.h>

namespace corvo::testing {

std::string decryptPayload(const std::string& ciphertext, const std::array<std::uint8_t, 16>& key,
                           const std::array<std::uint8_t, 16>& iv) {
    std::string plaintext;
    try {
        CryptoPP::Rijndael::Decryption block(key.data(), key.size());
        CryptoPP::CBC_Mode_ExternalCipher::Decryption cbc(block, iv.data());
        // No attached sink: the filter keeps its output, which avoids the pipeline's owning
        // raw pointers.
        CryptoPP::StreamTransformationFilter filter(
            cbc, nullptr, CryptoPP::StreamTransformationFilter::PKCS_PADDING);
        filter.Put(reinterpret_cast<const CryptoPP::byte*>(ciphertext.data()), ciphertext.size());
        filter.MessageEnd();
        plaintext.resize(static_cast<std::size_t>(filter.MaxRetrievable()));
        filter.Get(reinterpret_cast<CryptoPP::byte*>(plaintext.data()), plaintext.size());
    } catch (const CryptoPP::Exception& e) {
        throw std::runtime_error(std::string("decryptPayload: ") + e.what());
    }
    return plaintext;
}

std::vector<std::string> splitBars(const std::string& plaintext) {
    std::vector<std::string> fields;
    std::string::size_type start = 0;
    for (;;) {
        const auto bar = plaintext.find('|', start);
        if (bar == std::string::npos) {
            fields.push_back(plaintext.substr(start));
            return fields;
        }
        fields.push_back(plaintext.substr(start, bar - start));
        start = bar + 1;
    }
}

}  // namespace corvo::testing
