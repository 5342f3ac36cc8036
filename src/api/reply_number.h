// Reads a decimal number the lenient way the API's replies need: leading white space, an
// optional sign, the longest run of digits; the rest is ignored. Pure.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace corvo::api {

// Nothing when no digit follows the white space and sign, or the value leaves 32 bits.
std::optional<std::int32_t> readDecimal(std::string_view text);

}  // namespace corvo::api
