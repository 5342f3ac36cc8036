// Fuzz target: the file exports' handling of an answer. Whatever the text, parsing either
// refuses it or the writer names only files inside the output directory.
#include <cstdint>
#include <filesystem>
#include <string>

#include <unistd.h>

#include "session/file_export_writer.h"

namespace {

const std::string& outputDirectory() {
    static const std::string directory = [] {
        auto const path = std::filesystem::temp_directory_path() /
                          ("corvo-fuzz-files-" + std::to_string(::getpid()));
        std::filesystem::create_directories(path / "out");
        return (path / "out").string();
    }();
    return directory;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace corvo::session;
    std::string const text(reinterpret_cast<const char*>(data), size);
    static constexpr FileExportPlan kPlan{"out", "Symbol", ".json", FileMode::replace,
                                          AnswerShape::arrayOfObjects};
    auto const files = planFiles(text, kPlan);
    if (files) {
        writeFiles(outputDirectory(), files.value());
    }
    for (const auto& entry : std::filesystem::directory_iterator(
             std::filesystem::path(outputDirectory()).parent_path())) {
        if (entry.path().filename() != "out") {
            __builtin_trap();  // something was written beside the output directory
        }
    }
    emptyDirectory(outputDirectory());
    return 0;
}
