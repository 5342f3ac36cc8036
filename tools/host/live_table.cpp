#include "live_table.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace corvo::host {
namespace {

struct TerminalSize {
    std::size_t columns = 100;
    std::size_t rows = 30;
};

TerminalSize terminalSize() {
    TerminalSize size;
    winsize window{};
    if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &window) == 0 && window.ws_col > 0) {
        size.columns = window.ws_col;
        size.rows = window.ws_row > 0 ? window.ws_row : size.rows;
    }
    return size;
}

// "key=value" pairs for an object, so the latest values fit on one line.
std::string compact(const Json& record) {
    if (record.is_string()) {
        return record.get<std::string>();
    }
    if (!record.is_object()) {
        return dumpJson(record);
    }
    std::string line;
    for (const auto& [key, value] : record.items()) {
        line += (line.empty() ? "" : "  ") + key + "=" +
                (value.is_string() ? value.get<std::string>() : dumpJson(value));
    }
    return line;
}

std::string fitted(std::string text, std::size_t width) {
    std::replace_if(
        text.begin(), text.end(), [](char c) { return c == '\n' || c == '\r' || c == '\t'; }, ' ');
    if (text.size() > width) {
        text.resize(width > 3 ? width - 3 : 0);
        text += "...";
    }
    return text;
}

std::string padded(const std::string& text, std::size_t width) {
    return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

}  // namespace

void LiveTable::update(const std::string& topic, const Json& record) {
    Row& row = rows_[topic];
    row.latest = compact(record);
    ++row.updates;
    ++updates_;
    changed_ = true;
}

void LiveTable::setHealth(const std::string& line) {
    if (line != health_) {
        health_ = line;
        changed_ = true;
    }
}

void LiveTable::draw(std::ostream& out) {
    if (!changed_) {
        return;
    }
    changed_ = false;
    TerminalSize const size = terminalSize();
    std::size_t topicWidth = 5;
    for (const auto& entry : rows_) {
        topicWidth = std::min<std::size_t>(std::max(topicWidth, entry.first.size()), 24);
    }
    // Topic, two spaces, seven-digit count, two spaces; a line one short of the width never
    // leaves the cursor in a pending wrap.
    std::size_t const fixed = topicWidth + 11;
    std::size_t const recordWidth = size.columns > fixed + 10 ? size.columns - fixed - 1 : 10;
    std::size_t const shownRows = std::min(rows_.size(), size.rows > 5 ? size.rows - 5 : 1);
    if (drawnLines_ > 0) {
        out << "\x1b[" << drawnLines_ << 'A';  // back to the top of the previous drawing
    }
    out << "\r\x1b[2K" << fitted(health_, size.columns > 1 ? size.columns - 1 : 1) << '\n';
    out << "\r\x1b[2K" << padded("TOPIC", topicWidth) << "  UPDATES  LATEST\n";
    std::size_t lines = 2;
    for (auto row = rows_.begin(); lines <= shownRows + 1; ++row, ++lines) {
        char count[16];
        std::snprintf(count, sizeof count, "%7zu", row->second.updates);
        out << "\r\x1b[2K" << padded(fitted(row->first, topicWidth), topicWidth) << "  " << count
            << "  " << fitted(row->second.latest, recordWidth) << '\n';
    }
    if (shownRows < rows_.size()) {
        out << "\r\x1b[2K... and " << rows_.size() - shownRows << " more topics\n";
        ++lines;
    }
    drawnLines_ = lines;
    out << std::flush;
}

void LiveTable::summarise(std::ostream& out, double seconds) const {
    double const rate = seconds > 0.0 ? static_cast<double>(updates_) / seconds : 0.0;
    char line[160];
    std::snprintf(line, sizeof line, "watch: %zu updates on %zu topics in %.1f s (%.1f updates/s)",
                  updates_, rows_.size(), seconds, rate);
    out << line << '\n' << std::flush;
}

}  // namespace corvo::host
