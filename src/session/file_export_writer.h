// The file side of the file exports: where the Files directory is, how an instrument's file is
// named, and writing one file per element of an answer. Pure apart from the file system.
#pragma once

#include <nlohmann/json.hpp>

#include <optional>
#include <stdexcept>
#include <string>

namespace corvo::session {

enum class FileMode {
    appendLine,  // one line per element, appended (fundamental)
    replace,     // the last element of a code wins, no line end (IAA, volume)
};

struct FileExportPlan {
    const char* directoryName;  // below the Files directory
    const char* codeKey;        // member holding the instrument code
    const char* extension;      // with its dot
    FileMode mode;
};

// Raised for answers nested deeper than the writer is willing to serialise.
class AnswerTooDeep : public std::runtime_error {
  public:
    AnswerTooDeep() : std::runtime_error("answer nested too deeply") {}
};

// The directory of `modulePath` with its last nine characters replaced by "Files".
// Throws std::out_of_range when that directory is shorter than nine characters.
std::string filesDirectoryOf(const std::string& modulePath);

// The file name of a code: code + extension, or code + "_" + extension for "COM7".
std::string instrumentFileName(const std::string& code, const char* extension);

// False for codes that would leave the output directory.
bool isSafeFileCode(const std::string& code);

// Parses strictly; throws nlohmann's parse_error, or AnswerTooDeep for hostile nesting.
nlohmann::json parseAnswer(const std::string& text);

// Removes every entry below `directory`; throws std::filesystem::filesystem_error.
void emptyDirectory(const std::string& directory);

// Writes one file per element of `answer` into `directory`. An element that is neither an
// object nor null raises nlohmann's type_error; files written before it stay.
void writeElementFiles(const std::string& directory, nlohmann::json& answer,
                       const FileExportPlan& plan);

}  // namespace corvo::session
