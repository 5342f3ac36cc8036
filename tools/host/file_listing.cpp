#include "file_listing.h"

#include <algorithm>
#include <map>
#include <vector>

#include "c_calls.h"
#include "export_call.h"

namespace corvo::host {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kNamesShown = 5;

struct FileExport {
    const char* set;  // also the directory name below Files
    const char* exportName;
    bool (*Exports::*entry)();
    corvo_file_kind kind;  // the same export through corvo_export_files
};

constexpr FileExport kFileExports[] = {
    {"fundamental", "ea_FundamentalAllLastYearFile", &Exports::ea_FundamentalAllLastYearFile,
     CORVO_FILES_FUNDAMENTAL},
    {"iaa", "ea_IAAAllSymbolsFile", &Exports::ea_IAAAllSymbolsFile, CORVO_FILES_IAA},
    {"volume", "ea_VolumeAllSymbolsFile", &Exports::ea_VolumeAllSymbolsFile, CORVO_FILES_VOLUME}};

using Snapshot = std::map<std::string, fs::file_time_type>;

Snapshot snapshotOf(const fs::path& directory) {
    Snapshot files;
    std::error_code error;
    for (fs::directory_iterator it(directory, error), end; !error && it != end;
         it.increment(error)) {
        std::error_code timeError;
        auto const time = it->last_write_time(timeError);
        files[it->path().filename().string()] = time;
    }
    return files;
}

// The files that are new or changed since `before`, by name.
std::vector<std::string> writtenSince(const Snapshot& before, const Snapshot& after) {
    std::vector<std::string> written;
    for (const auto& [name, time] : after) {
        auto const old = before.find(name);
        if (old == before.end() || old->second != time) {
            written.push_back(name);
        }
    }
    return written;
}

// "iaa: corvo_export_files wrote 3 files in DIR: AAA.json, ..." at a terminal; piped, one
// {"files":{...}} line with every name.
void report(const Output& output, const FileExport& file, const char* writer,
            const fs::path& directory, const std::vector<std::string>& written) {
    std::string line = std::string(file.set) + ": " + writer + " wrote " +
                       std::to_string(written.size()) +
                       (written.size() == 1 ? " file in " : " files in ") + directory.string();
    for (std::size_t i = 0; i < std::min(written.size(), kNamesShown); ++i) {
        line += (i == 0 ? ": " : ", ") + written[i];
    }
    if (written.size() > kNamesShown) {
        line += " and " + std::to_string(written.size() - kNamesShown) + " more";
    }
    output.note(line, {{"files",
                        {{"set", file.set},
                         {"writer", writer},
                         {"directory", directory.string()},
                         {"written", written.size()},
                         {"names", written}}}});
}

}  // namespace

fs::path filesDirectoryFor(const fs::path& library) {
    fs::path const directory = library.parent_path();
    std::string const tail = "Libraries";
    if (directory.filename() != tail) {
        throw HostError(
            "the file exports write into the Files directory beside the library's "
            "own directory, so the library must sit in a directory named Libraries "
            "with a directory Files beside it; " +
            library.string() + " sits in " + directory.string() +
            " (copy it into e.g. /tmp/corvo/Libraries/ and create /tmp/corvo/Files)");
    }
    // The library's own rule: its directory with the last 9 characters replaced by "Files".
    std::string const text = directory.string();
    fs::path const files = text.substr(0, text.size() - tail.size()) + "Files";
    // The library creates only the directory of each file set, so Files itself must exist.
    std::error_code error;
    if (!fs::is_directory(files, error)) {
        throw HostError("the file exports write below " + files.string() +
                        ", beside the library's directory " + directory.string() + ", and " +
                        (fs::exists(files, error)
                             ? "it is not a directory"
                             : "it does not exist: create it (mkdir " + files.string() + ")"));
    }
    return files;
}

void runFileExports(const Library& library, const std::string& set, Family family,
                    const Output& output) {
    fs::path const files = filesDirectoryFor(library.path());
    for (const FileExport& file : kFileExports) {
        if (set != "all" && set != file.set) {
            continue;
        }
        fs::path const directory = files / file.set;
        Snapshot const before = snapshotOf(directory);
        const Exports& exports = library.exports();
        const char* writer = file.exportName;
        if (family == Family::c) {
            // Null: the library's own Files directory, the one checked above.
            writer = "corvo_export_files";
            check(exports, writer, exports.corvo_export_files(file.kind, nullptr));
        } else {
            require(file.exportName, (exports.*file.entry)());
        }
        report(output, file, writer, directory, writtenSince(before, snapshotOf(directory)));
    }
}

}  // namespace corvo::host
