// The file side of the file exports: where the Files directory is, how an instrument's file is
// named, checking a whole answer and turning it into files, and writing them so that no reader
// ever sees half a file. Pure apart from the file system.
#pragma once

#include <nlohmann/json.hpp>

#include <stdexcept>
#include <string>
#include <vector>

#include "api/outcome.h"

namespace corvo::session {

enum class FileMode {
    appendLine,  // one line per element, in element order (fundamental)
    replace,     // the last element of a code wins, no line end (IAA, volume)
};

enum class AnswerShape {
    arrayOfObjects,   // [{...}, ...]
    objectOfObjects,  // {"key": {...}, ...}
};

struct FileExportPlan {
    const char* directoryName;  // below the Files directory
    const char* codeKey;        // member holding the instrument code
    const char* extension;      // with its dot
    FileMode mode;
    AnswerShape shape;
};

// One output file: its name in the output directory and its whole content.
struct PlannedFile {
    std::string name;
    std::string content;
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

// False for codes that cannot be file names in the output directory: a separator, "." or
// "..", a control character.
bool isSafeFileCode(const std::string& code);

// Parses strictly; throws nlohmann's parse_error, or AnswerTooDeep for hostile nesting.
nlohmann::json parseAnswer(const std::string& text);

// The files a whole answer makes, in the order of their first element, or a bad answer when
// the text is not JSON or not of the plan's shape. Elements whose code cannot be a file name
// are left out.
api::Outcome<std::vector<PlannedFile>> planFiles(const std::string& text,
                                                 const FileExportPlan& plan);

// Creates `directory` and its parents when missing; a failure names it.
api::Outcome<api::Done> ensureDirectory(const std::string& directory);

// Removes every entry below `directory`; a failure names it.
api::Outcome<api::Done> emptyDirectory(const std::string& directory);

// Writes each file under a temporary name in `directory` and renames it into place; a file
// that cannot be written is skipped and leaves nothing behind. Answers how many were written.
std::size_t writeFiles(const std::string& directory, const std::vector<PlannedFile>& files);

}  // namespace corvo::session
