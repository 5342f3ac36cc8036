#include "peer/payload_decrypt.h"

namespace corvo::testing {

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
