#include "session/text_fields.h"

namespace corvo::session {

std::vector<std::string> splitFields(std::string_view text, char delimiter) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t const end = text.find(delimiter, start);
        if (end == std::string_view::npos) {
            fields.emplace_back(text.substr(start));
            break;
        }
        fields.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }
    return fields;
}

std::string withoutWhiteSpace(std::string_view text) {
    std::string kept;
    kept.reserve(text.size());
    for (char const c : text) {
        bool const space =
            c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
        if (!space) {
            kept.push_back(c);
        }
    }
    return kept;
}

}  // namespace corvo::session
