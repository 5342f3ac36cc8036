#include "output.h"

#include <unistd.h>

#include <iostream>

namespace corvo::host {
namespace {

// Beyond this a terminal shows the head of the answer and says how long the whole is.
constexpr std::size_t kTerminalLimit = 8000;

std::string prettyIfJson(const std::string& text) {
    auto const parsed = Json::parse(text, nullptr, false);
    return parsed.is_discarded() ? text : dumpJson(parsed, 2);
}

}  // namespace

std::string dumpJson(const Json& value, int indent) {
    return value.dump(indent, ' ', false, Json::error_handler_t::replace);
}

Output::Output() : terminal_(::isatty(STDOUT_FILENO) == 1) {}

void Output::answer(const std::string& text) const {
    if (!terminal_) {
        std::cout << text << '\n' << std::flush;
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

void Output::line(const std::string& text) const {
    std::cout << text << '\n' << std::flush;
}

void Output::update(const std::string& topic, const Json& record) const {
    Json const line = {{"topic", topic}, {"record", record}};
    std::cout << dumpJson(line) << '\n' << std::flush;
}

}  // namespace corvo::host
