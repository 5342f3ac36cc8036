// Credential scrambling and the AES-128-CBC encryption of every request body. Pure functions
// over their arguments; safe from any thread.
#pragma once

#include <array>
#include <cstdint>
#include <ctime>
#include <string>

namespace corvo::api {

using AesBlock = std::array<std::uint8_t, 16>;

// Y - M * d of the local date at `now` + `offsetSeconds`, in decimal.
std::string dayKeyAt(std::time_t now, std::int32_t offsetSeconds);

// The day key of this moment with the build's offset.
std::string dayKey();

// data[i] XOR key[i mod key length]; `key` must not be empty.
std::string xorWithKey(std::string data, const std::string& key);

// userKey ^ D, "|", clientSecret ^ D.
std::string credentialBlock(const std::string& userKey, const std::string& clientSecret,
                            const std::string& dayKey);

// AES-128-CBC with PKCS#7 padding; the raw ciphertext bytes.
std::string encryptPayload(const std::string& plaintext, const AesBlock& key, const AesBlock& iv);

}  // namespace corvo::api
