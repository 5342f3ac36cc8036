#include "session/file_export_writer.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "platform/platform.h"

namespace corvo::session {
namespace {

constexpr std::size_t kLibrariesLength = 9;  // "Libraries"
// Serialising is recursive; deeper answers are refused rather than risking the host's stack.
constexpr std::size_t kMaxNesting = 512;

// Deepest bracket nesting outside strings; one linear pass before the parser runs.
std::size_t nestingDepth(const std::string& text) {
    std::size_t depth = 0;
    std::size_t deepest = 0;
    bool inString = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char const c = text[i];
        if (inString) {
            if (c == '\\') {
                ++i;
            } else if (c == '"') {
                inString = false;
            }
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            deepest = std::max(deepest, ++depth);
        } else if ((c == ']' || c == '}') && depth > 0) {
            --depth;
        }
    }
    return deepest;
}

void writeFile(const std::string& path, const std::string& line, FileMode mode) {
    auto const openMode = mode == FileMode::appendLine ? std::ios::app : std::ios::trunc;
    std::ofstream file(path, std::ios::out | openMode);
    if (!file) {
        return;  // a file that cannot be opened is skipped
    }
    file << line;
    if (mode == FileMode::appendLine) {
        file << '\n';
    }
}

}  // namespace

std::string filesDirectoryOf(const std::string& modulePath) {
    std::size_t const cut = modulePath.find_last_of(platform::kPathSeparator);
    std::string directory = cut == std::string::npos ? modulePath : modulePath.substr(0, cut);
    if (directory.size() < kLibrariesLength) {
        throw std::out_of_range("library directory shorter than \"Libraries\"");
    }
    directory.replace(directory.size() - kLibrariesLength, kLibrariesLength, "Files");
    return directory;
}

std::string instrumentFileName(const std::string& code, const char* extension) {
    return code == "COM7" ? code + "_" + extension : code + extension;
}

bool isSafeFileCode(const std::string& code) {
    return code != "." && code != ".." && code.find_first_of("/\\") == std::string::npos;
}

nlohmann::json parseAnswer(const std::string& text) {
    if (nestingDepth(text) > kMaxNesting) {
        throw AnswerTooDeep();
    }
    return nlohmann::json::parse(text);
}

void emptyDirectory(const std::string& directory) {
    for (const auto& entry : std::filesystem::directory_iterator(directory)) {
        std::filesystem::remove_all(entry.path());
    }
}

void writeElementFiles(const std::string& directory, nlohmann::json& answer,
                       const FileExportPlan& plan) {
    for (auto& element : answer) {
        std::string const line = element.dump();
        // The inserting lookup: a null element becomes an object, a missing code reads null.
        std::string code = element[plan.codeKey].dump();
        code.erase(std::remove(code.begin(), code.end(), '"'), code.end());
        if (!isSafeFileCode(code)) {
            continue;
        }
        writeFile(directory + platform::kPathSeparator + instrumentFileName(code, plan.extension),
                  line, plan.mode);
    }
}

}  // namespace corvo::session
