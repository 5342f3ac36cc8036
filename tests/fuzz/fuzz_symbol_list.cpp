// Fuzz target: splitting instrument lists and server texts. Joining the fields back must give
// the text again (up to one trailing delimiter), and no field may hold the delimiter.
#include <cstdint>
#include <string>

#include "session/text_fields.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string const text(reinterpret_cast<const char*>(data), size);
    for (char const delimiter : {',', ':'}) {
        auto const fields = corvo::session::splitFields(text, delimiter);
        std::string joined;
        for (std::size_t i = 0; i < fields.size(); ++i) {
            if (fields[i].find(delimiter) != std::string::npos) {
                __builtin_trap();
            }
            joined += (i ? std::string(1, delimiter) : std::string()) + fields[i];
        }
        if (joined != text && joined + delimiter != text) {
            __builtin_trap();
        }
    }
    auto const cleaned = corvo::session::withoutWhiteSpace(text);
    if (cleaned.find_first_of(" \t\n\v\f\r") != std::string::npos) {
        __builtin_trap();
    }
    return 0;
}
