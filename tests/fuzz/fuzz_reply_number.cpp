// Fuzz target: the lenient reading of reply numbers must never fail on any bytes and must
// agree with strtol wherever strtol reads a value inside 32 bits.
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "api/reply_number.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string const text(reinterpret_cast<const char*>(data), size);
    auto const value = corvo::api::readDecimal(text);
    if (text.find('\0') != std::string::npos || text.find_first_of("xX") != std::string::npos) {
        return 0;  // strtol stops at a zero byte, and would not read these the same way anyway
    }
    errno = 0;
    char* end = nullptr;
    long const expected = std::strtol(text.c_str(), &end, 10);
    bool const strtolRead =
        end != text.c_str() && errno == 0 && expected >= INT32_MIN && expected <= INT32_MAX;
    if (strtolRead != value.has_value() || (value && *value != expected)) {
        __builtin_trap();
    }
    return 0;
}
