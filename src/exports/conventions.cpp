#include "exports/conventions.h"

namespace corvo::exports {

std::string narrow(const corvo_char16* text) {
    std::string narrowed;
    for (; *text != 0; ++text) {
        narrowed.push_back(static_cast<char>(*text & 0xFF));
    }
    return narrowed;
}

void widenInto(std::string_view text, corvo_char16* out) {
    for (char const byte : text) {
        // Sign extension: 0x80..0xFF become 0xFF80..0xFFFF.
        auto const unit = static_cast<std::int16_t>(static_cast<signed char>(byte));
        *out++ = static_cast<corvo_char16>(static_cast<std::uint16_t>(unit));
    }
}

}  // namespace corvo::exports
