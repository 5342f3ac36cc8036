// The peers' own side of the request cipher, written from the protocol's rules and built on
// OpenSSL, so that a fault in the client's cipher cannot be mirrored by the servers that check
// it. Pure functions; safe from any thread.
#pragma once

#include <array>
#include <cstdint>
#include <ctime>
#include <string>

#include "corvo/build_constants.h"

namespace corvo::peer {

using AesBlock = std::array<std::uint8_t, 16>;

// Y - M * d of the local date at `now` + `offsetSeconds`, as decimal text.
std::string dayKeyAt(std::time_t now, std::int32_t offsetSeconds);

// The day key a client of this build uses right now.
std::string dayKey(std::int32_t offsetSeconds = build::kDayKeyOffsetSeconds);

// data[i] XOR key[i mod key length]; `key` must not be empty.
std::string xorWithKey(const std::string& data, const std::string& key);

// userKey ^ day, "|", clientSecret ^ day.
std::string credentialBlock(const std::string& userKey, const std::string& clientSecret,
                            const std::string& day);

// AES-128-CBC with PKCS#7 padding: the raw ciphertext.
std::string encryptPayload(const std::string& plaintext, const AesBlock& key = build::kAesKey,
                           const AesBlock& iv = build::kAesIv);

// The inverse; throws std::runtime_error when the length is not a positive multiple of 16 or
// the padding is not n bytes of value n.
std::string decryptPayload(const std::string& ciphertext, const AesBlock& key = build::kAesKey,
                           const AesBlock& iv = build::kAesIv);

}  // namespace corvo::peer
