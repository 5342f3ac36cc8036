#include "support/known_answers.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace corvo::testing {

std::vector<KnownAnswer> knownAnswers(const std::string& fileName) {
    std::string const path = std::string(CORVO_KNOWN_ANSWERS_DIR) + "/" + fileName;
    std::ifstream file(path);
    std::vector<KnownAnswer> cases;
    std::string line;
    while (std::getline(file, line)) {
        std::istringstream fields(line.substr(0, line.find('#')));
        KnownAnswer known;
        for (std::string field; fields >> field;) {
            auto const equals = field.find('=');
            if (equals == std::string::npos) {
                throw std::runtime_error(path + ": field without '=': " + field);
            }
            known[field.substr(0, equals)] = field.substr(equals + 1);
        }
        if (!known.empty()) {
            cases.push_back(std::move(known));
        }
    }
    if (cases.empty()) {
        throw std::runtime_error(path + ": no known answers");
    }
    return cases;
}

std::string fromHex(const std::string& hex) {
    if (hex.size() % 2 != 0) {
        throw std::invalid_argument("odd hex length");
    }
    auto const nibble = [](char digit) {
        if (!std::isxdigit(static_cast<unsigned char>(digit))) {
            throw std::invalid_argument(std::string("not a hex digit: ") + digit);
        }
        return std::isdigit(static_cast<unsigned char>(digit)) ? digit - '0'
                                                               : std::tolower(digit) - 'a' + 10;
    };
    std::string bytes;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        bytes.push_back(static_cast<char>(nibble(hex[i]) * 16 + nibble(hex[i + 1])));
    }
    return bytes;
}

std::array<std::uint8_t, 16> blockFromHex(const std::string& hex) {
    std::string const bytes = fromHex(hex);
    std::array<std::uint8_t, 16> block{};
    if (bytes.size() != block.size()) {
        throw std::invalid_argument("not 16 bytes: " + hex);
    }
    std::copy(bytes.begin(), bytes.end(), block.begin());
    return block;
}

}  // namespace corvo::testing
