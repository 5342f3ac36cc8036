#include "peer/http_wire.h"

#include <algorithm>

namespace corvo::testing::detail {
namespace {

char lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// RFC 9110 token characters, which are all that may appear in methods and field names.
bool isTokenChar(char c) {
    if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) {
        return true;
    }
    return std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

bool isToken(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), isTokenChar);
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trimBlanks(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

bool parseRequestLine(std::string_view line, RecordedRequest& out) {
    const auto firstSpace = line.find(' ');
    const auto lastSpace = line.rfind(' ');
    if (firstSpace == std::string_view::npos || firstSpace == lastSpace) {
        return false;
    }
    const auto method = line.substr(0, firstSpace);
    const auto target = line.substr(firstSpace + 1, lastSpace - firstSpace - 1);
    const auto version = line.substr(lastSpace + 1);
    const bool targetOk = !target.empty() && std::all_of(target.begin(), target.end(), [](char c) {
        return static_cast<unsigned char>(c) > 0x20 && c != 0x7f;
    });
    if (!isToken(method) || !targetOk || (version != "HTTP/1.1" && version != "HTTP/1.0")) {
        return false;
    }
    out.method = std::string(method);
    out.target = std::string(target);
    return true;
}

bool parseFieldLine(std::string_view line, RecordedRequest& out) {
    const auto colon = line.find(':');
    if (colon == std::string_view::npos || !isToken(line.substr(0, colon))) {
        return false;  // also rejects obsolete line folding, which starts with a blank
    }
    const auto value = trimBlanks(line.substr(colon + 1));
    const bool valueOk = std::none_of(value.begin(), value.end(),
                                      [](char c) { return c == '\r' || c == '\n' || c == '\0'; });
    if (!valueOk) {
        return false;
    }
    out.fields.emplace_back(std::string(line.substr(0, colon)), std::string(value));
    return true;
}

const char* reasonPhrase(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 204:
            return "No Content";
        case 400:
            return "Bad Request";
        case 401:
            return "Unauthorized";
        case 403:
            return "Forbidden";
        case 404:
            return "Not Found";
        case 500:
            return "Internal Server Error";
        case 502:
            return "Bad Gateway";
        case 503:
            return "Service Unavailable";
        default:
            return "Status";
    }
}

}  // namespace

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return lower(x) == lower(y); });
}

bool parseRequestHead(std::string_view head, RecordedRequest& out) {
    bool first = true;
    while (!head.empty()) {
        const auto end = head.find("\r\n");
        if (end == std::string_view::npos) {
            return false;
        }
        const auto line = head.substr(0, end);
        head.remove_prefix(end + 2);
        const bool ok = first ? parseRequestLine(line, out) : parseFieldLine(line, out);
        if (!ok) {
            return false;
        }
        first = false;
    }
    return !first;
}

std::optional<std::uint64_t> parseDecimal(std::string_view text) {
    if (text.empty() || text.size() > 19) {
        return std::nullopt;  // 19 digits always fit in 64 bits
    }
    std::uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return value;
}

std::optional<std::uint64_t> parseChunkSize(std::string_view line) {
    const auto digits = trimBlanks(line.substr(0, line.find(';')));
    if (digits.empty() || digits.size() > 15) {
        return std::nullopt;  // 15 hex digits always fit in 64 bits
    }
    std::uint64_t value = 0;
    for (char c : digits) {
        const char l = lower(c);
        int digit = -1;
        if (l >= '0' && l <= '9') {
            digit = l - '0';
        } else if (l >= 'a' && l <= 'f') {
            digit = l - 'a' + 10;
        }
        if (digit < 0) {
            return std::nullopt;
        }
        value = value * 16 + static_cast<std::uint64_t>(digit);
    }
    return value;
}

std::string replyHead(const Reply& reply, std::string_view framingLines) {
    std::string head =
        "HTTP/1.1 " + std::to_string(reply.status) + " " + reasonPhrase(reply.status) + "\r\n";
    for (const auto& [name, value] : reply.fields) {
        head += name + ": " + value + "\r\n";
    }
    head += framingLines;
    head += "Connection: close\r\n\r\n";
    return head;
}

std::string chunkedBody(std::string_view body, std::size_t chunkSize) {
    if (chunkSize == 0) {
        chunkSize = std::max<std::size_t>(body.size(), 1);
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(body.size() + (body.size() / chunkSize + 2) * 24);
    while (!body.empty()) {
        const auto piece = body.substr(0, chunkSize);
        std::string size;
        for (auto n = piece.size(); n != 0; n /= 16) {
            size.insert(size.begin(), kHex[n % 16]);
        }
        out += size + "\r\n";
        out += piece;
        out += "\r\n";
        body.remove_prefix(piece.size());
    }
    out += "0\r\n\r\n";
    return out;
}

}  // namespace corvo::testing::detail
