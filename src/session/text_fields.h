// Splitting of delimited texts the way a stream reads delimited fields: a trailing delimiter
// adds no empty field, adjacent delimiters give an empty field, and an empty text gives none.
// Pure; used for the server text of session start and the instrument lists of subscriptions.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace corvo::session {

std::vector<std::string> splitFields(std::string_view text, char delimiter);

// The text without space, tab, line feed, vertical tab, form feed and carriage return.
std::string withoutWhiteSpace(std::string_view text);

}  // namespace corvo::session
