#include "refresh_members.h"

namespace corvo::host {
namespace {

constexpr auto npos = std::string::npos;

// The index just past the JSON string opening at `at`, or npos when it does not close.
std::size_t endOfString(const std::string& text, std::size_t at) {
    for (std::size_t i = at + 1; i < text.size(); ++i) {
        if (text[i] == '\\') {
            ++i;
        } else if (text[i] == '"') {
            return i + 1;
        }
    }
    return npos;
}

// Whether a member key ("...":) starts at `at`.
bool keyAt(const std::string& text, std::size_t at) {
    if (at >= text.size() || text[at] != '"') {
        return false;
    }
    std::size_t const end = endOfString(text, at);
    return end != npos && end < text.size() && text[end] == ':';
}

// Where the payload from `from` ends: at a comma outside strings and brackets that is followed
// by a key, else at `end`. A free-text payload holding such a comma is split there, which only
// a payload that is not JSON can cause.
std::size_t endOfPayload(const std::string& text, std::size_t from, std::size_t end) {
    int depth = 0;
    for (std::size_t i = from; i < end; ++i) {
        char const c = text[i];
        if (c == '"') {
            std::size_t const close = endOfString(text, i);
            if (close == npos || close > end) {
                return end;
            }
            i = close - 1;
        } else if (c == '{' || c == '[') {
            ++depth;
        } else if (c == '}' || c == ']') {
            --depth;
        } else if (c == ',' && depth <= 0 && keyAt(text, i + 1)) {
            return i;
        }
    }
    return end;
}

Json parsedOrString(const std::string& payload) {
    Json parsed = Json::parse(payload, nullptr, false);
    return parsed.is_discarded() ? Json(payload) : parsed;
}

std::string keyText(const std::string& quoted) {
    Json const key = Json::parse(quoted, nullptr, false);
    return key.is_string() ? key.get<std::string>() : quoted.substr(1, quoted.size() - 2);
}

// The members of a text that did not parse as a whole; empty when it is not object-shaped.
std::vector<RefreshMember> scanMembers(const std::string& text) {
    std::vector<RefreshMember> members;
    std::size_t const first = text.find_first_not_of(" \t\r\n");
    std::size_t const last = text.find_last_not_of(" \t\r\n");
    if (first == npos || text[first] != '{' || text[last] != '}') {
        return members;
    }
    std::size_t at = first + 1;
    while (at < last) {
        if (!keyAt(text, at)) {
            return {};
        }
        std::size_t const keyEnd = endOfString(text, at);
        std::size_t const payloadEnd = endOfPayload(text, keyEnd + 1, last);
        members.push_back({keyText(text.substr(at, keyEnd - at)),
                           parsedOrString(text.substr(keyEnd + 1, payloadEnd - keyEnd - 1))});
        at = payloadEnd + 1;
    }
    return members;
}

}  // namespace

std::vector<RefreshMember> splitRefresh(const std::string& text) {
    Json const whole = Json::parse(text, nullptr, false);
    std::vector<RefreshMember> members;
    if (whole.is_object()) {
        for (const auto& [topic, record] : whole.items()) {
            members.push_back({topic, record});
        }
        return members;
    }
    members = scanMembers(text);
    if (members.empty() && text.find_first_not_of(" \t\r\n{}") != npos) {
        members.push_back({"", Json(text)});
    }
    return members;
}

}  // namespace corvo::host
