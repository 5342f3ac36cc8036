// The known-answer vectors of tests/data/known_answers, computed outside the project. One case
// a line, fields written name=value and separated by blanks; '#' starts a comment.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace corvo::testing {

using KnownAnswer = std::map<std::string, std::string>;

// The cases of `fileName` in that folder, in file order; throws std::runtime_error when the
// file is missing or holds no case, so a lost data file cannot pass as an empty loop.
std::vector<KnownAnswer> knownAnswers(const std::string& fileName);

// "7c00" -> "|\0"; throws std::invalid_argument on an odd length or a non-hex digit.
std::string fromHex(const std::string& hex);

// 32 hex digits as a 16-byte key or IV; throws std::invalid_argument on another length.
std::array<std::uint8_t, 16> blockFromHex(const std::string& hex);

}  // namespace corvo::testing
