#include "output.h"

#include <unistd.h>

#include <algorithm>
#include <iostream>

namespace corvo::host {
namespace {

// Beyond this a terminal shows the head of the answer and says how long the whole is.
constexpr std::size_t kTerminalLimit = 8000;

std::string prettyIfJson(const std::string& text) {
    auto const parsed = Json::parse(text, nullptr, false);
    return parsed.is_discarded() ? text : dumpJson(parsed, 2);
}

// The answer as one JSON line. A JSON answer keeps its own bytes: a raw line break in valid
// JSON can only be white space between tokens, so dropping it changes nothing else.
std::string jsonLine(const std::string& text) {
    if (!Json::accept(text)) {
        return dumpJson(Json(text));
    }
    std::string line = text;
    line.erase(
        std::remove_if(line.begin(), line.end(), [](char c) { return c == '\n' || c == '\r'; }),
        line.end());
    return line;
}

}  // namespace

std::string dumpJson(const Json& value, int indent) {
    return value.dump(indent, ' ', false, Json::error_handler_t::replace);
}

Output::Output() : terminal_(::isatty(STDOUT_FILENO) == 1) {}

void Output::answer(const std::string& text) const {
    if (!terminal_) {
        std::cout << jsonLine(text) << '\n' << std::flush;
        return;
    }
    std::string const shown = prettyIfJson(text);
    if (shown.size() <= kTerminalLimit) {
        std::cout << shown << '\n' << std::flush;
        return;
    }
    std::cout << shown.substr(0, kTerminalLimit) << "\n... (truncated: the answer is "
              << text.size() << " characters; redirect the output to get all of it)\n"
              << std::flush;
}

void Output::note(const std::string& text, const Json& record) const {
    std::cout << (terminal_ ? text : dumpJson(record)) << '\n' << std::flush;
}

void Output::record(const Json& value) const {
    std::cout << dumpJson(value) << '\n' << std::flush;
}

void Output::update(const std::string& topic, const Json& record) const {
    this->record({{"topic", topic}, {"record", record}});
}

}  // namespace corvo::host
