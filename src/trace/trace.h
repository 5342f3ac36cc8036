// The trace hook: every diagnostic text of the library goes here. It does nothing unless a
// sink is installed: CORVO_TRACE (stderr or a file path) installs one at first use, and tests
// install their own. Thread safe.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <type_traits>

namespace corvo::trace {

using Sink = std::function<void(std::string_view)>;

// True while a sink is installed; lets callers skip building texts nobody reads.
bool enabled();

// Hands one finished text to the sink, if any.
void emit(std::string_view text);

// Replaces the sink (nullptr: none). Meant for tests and tools.
void setSink(Sink sink);

namespace detail {
inline void appendPart(std::string& out, std::string_view part) {
    out.append(part);
}
inline void appendPart(std::string& out, const char* part) {
    out.append(part);
}
inline void appendPart(std::string& out, char part) {
    out.push_back(part);
}
template <class Number, class = std::enable_if_t<std::is_arithmetic_v<Number>>>
void appendPart(std::string& out, Number number) {
    out.append(std::to_string(number));
}
}  // namespace detail

// How a secret appears in a trace or an error reason: a short prefix and its length, never the
// whole of it.
std::string secretPrefix(std::string_view secret);

// Joins the parts into one text, only when a sink will read it.
template <class... Parts>
void text(const Parts&... parts) {
    if (!enabled()) {
        return;
    }
    std::string joined;
    (detail::appendPart(joined, parts), ...);
    emit(joined);
}

}  // namespace corvo::trace
