// Test-side decryption of the library's AES-128-CBC request payloads, for checking what the
// client sent. Stateless; safe from any thread.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "corvo/build_constants.h"

namespace corvo::testing {

// AES-128-CBC decryption with PKCS#7 padding removed. Throws std::runtime_error when the
// length is not a whole number of blocks or the padding is wrong.
std::string decryptPayload(const std::string& ciphertext,
                           const std::array<std::uint8_t, 16>& key = corvo::build::kAesKey,
                           const std::array<std::uint8_t, 16>& iv = corvo::build::kAesIv);

// Splits at every '|', keeping empty fields: "a||b|" gives {"a", "", "b", ""}.
std::vector<std::string> splitBars(const std::string& plaintext);

}  // namespace corvo::testing
