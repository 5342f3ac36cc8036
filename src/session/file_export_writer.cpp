#include "session/file_export_writer.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <map>

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

// A temporary name beside the final one, unique across threads and processes.
std::string temporaryPathFor(const std::string& path) {
    static std::atomic<std::uint64_t> written{0};
    return path + ".tmp-" + std::to_string(platform::processId()) + "-" +
           std::to_string(written.fetch_add(1, std::memory_order_relaxed));
}

bool writeWhole(const std::string& path, const std::string& content) {
    // Text mode: a line end becomes the platform's own.
    std::ofstream file(path, std::ios::out | std::ios::trunc);
    if (!file) {
        return false;
    }
    file << content;
    file.close();
    return !file.fail();
}

api::Failure badAnswer(std::string reason) {
    return {api::FailureKind::badAnswer, std::move(reason)};
}

// The code of an object element: its member's JSON text without quotes, "null" when missing.
std::string codeOf(const nlohmann::json& element, const char* key) {
    auto const member = element.find(key);
    std::string code = member == element.end() ? "null" : member->dump();
    code.erase(std::remove(code.begin(), code.end(), '"'), code.end());
    return code;
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
    bool const control = std::any_of(code.begin(), code.end(), [](char c) {
        return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
    });
    return !control && code != "." && code != ".." &&
           code.find_first_of("/\\") == std::string::npos;
}

nlohmann::json parseAnswer(const std::string& text) {
    if (nestingDepth(text) > kMaxNesting) {
        throw AnswerTooDeep();
    }
    return nlohmann::json::parse(text);
}

api::Outcome<std::vector<PlannedFile>> planFiles(const std::string& text,
                                                 const FileExportPlan& plan) {
    nlohmann::json answer;
    try {
        answer = parseAnswer(text);
    } catch (const std::exception& error) {
        return badAnswer(std::string("the answer is not JSON: ") + error.what());
    }
    bool const arrays = plan.shape == AnswerShape::arrayOfObjects;
    if (arrays ? !answer.is_array() : !answer.is_object()) {
        return badAnswer(std::string("the answer is not ") +
                         (arrays ? "an array of objects" : "an object of objects"));
    }
    std::vector<PlannedFile> files;
    std::map<std::string, std::size_t> fileOfCode;
    std::size_t position = 0;
    for (const auto& element : answer) {
        if (!element.is_object()) {
            return badAnswer("element " + std::to_string(position) +
                             " of the answer is not an object");
        }
        ++position;
        std::string const code = codeOf(element, plan.codeKey);
        if (!isSafeFileCode(code)) {
            continue;
        }
        std::string line = element.dump();
        auto const [slot, added] = fileOfCode.emplace(code, files.size());
        if (added) {
            files.push_back({instrumentFileName(code, plan.extension), {}});
        }
        std::string& content = files[slot->second].content;
        if (plan.mode == FileMode::appendLine) {
            content.append(line).push_back('\n');
        } else {
            content = std::move(line);
        }
    }
    return files;
}

api::Outcome<api::Done> ensureDirectory(const std::string& directory) {
    std::error_code error;
    std::filesystem::create_directories(directory, error);
    if (!error && std::filesystem::is_directory(directory, error)) {
        return api::Done{};
    }
    return api::Failure{api::FailureKind::local,
                        "the output directory \"" + directory + "\" cannot be used: " +
                            (error ? error.message() : "it is not a directory")};
}

api::Outcome<api::Done> emptyDirectory(const std::string& directory) {
    std::error_code error;
    for (std::filesystem::directory_iterator entry(directory, error), end; !error && entry != end;
         entry.increment(error)) {
        std::filesystem::remove_all(entry->path(), error);
    }
    if (error) {
        return api::Failure{
            api::FailureKind::local,
            "the output directory \"" + directory + "\" could not be emptied: " + error.message()};
    }
    return api::Done{};
}

std::size_t writeFiles(const std::string& directory, const std::vector<PlannedFile>& files) {
    std::size_t written = 0;
    for (const auto& file : files) {
        std::string const path = directory + platform::kPathSeparator + file.name;
        std::string const temporary = temporaryPathFor(path);
        std::error_code error;
        if (writeWhole(temporary, file.content)) {
            std::filesystem::rename(temporary, path, error);
            if (!error) {
                ++written;
                continue;
            }
        }
        std::filesystem::remove(temporary, error);
    }
    return written;
}

}  // namespace corvo::session
