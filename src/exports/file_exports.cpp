// File exports: fetch an answer for all instruments and write one file per instrument below
// the Files directory beside the library's Libraries directory (or a directory the caller
// names, through the C interface).
#include <mutex>

#include "exports/conventions.h"
#include "exports/file_export_runs.h"
#include "platform/platform.h"
#include "session/file_export_writer.h"

namespace corvo::exports {
namespace {

using session::AnswerTooDeep;
using session::emptyDirectory;
using session::FileExportPlan;
using session::FileMode;
using session::filesDirectoryOf;
using session::parseAnswer;
using session::writeElementFiles;

constexpr FileExportPlan kFundamental{"fundamental", "Symbol", ".txt", FileMode::appendLine};
constexpr FileExportPlan kIAA{"iaa", "symbol", ".json", FileMode::replace};
constexpr FileExportPlan kVolume{"volume", "Symbol", ".json", FileMode::replace};

// The output directory of `plan` below `base`, or below the library's Files directory, created
// if missing; nothing when the library's own path is unknown. Throws when that path is too
// short to hold a Libraries directory.
std::optional<std::string> outputDirectory(const char* base, const FileExportPlan& plan) {
    std::string root;
    if (base != nullptr) {
        root = base;
    } else {
        auto const modulePath =
            platform::modulePathOf(reinterpret_cast<const void*>(&runFileExport));
        if (!modulePath) {
            return std::nullopt;
        }
        root = filesDirectoryOf(*modulePath);
    }
    std::string directory = root + platform::kPathSeparator + plan.directoryName;
    platform::createDirectory(directory);
    return directory;
}

// Fundamental data: the directory is emptied first, and whatever stops the writing ends it
// quietly (files written so far stay).
bool fundamentalFiles(session::Processor& session, const char* base) {
    std::string text;
    session.getFundaAllSym(text);
    trace::text("FK: ", text.size());
    auto const directory = outputDirectory(base, kFundamental);
    if (!directory) {
        return false;
    }
    emptyDirectory(*directory);
    try {
        auto answer = parseAnswer(text);
        writeElementFiles(*directory, answer, kFundamental);
    } catch (...) {
        // Whatever stops the writing ends it quietly; files written so far stay.
    }
    return true;
}

// IAA and volume data: only an answer that is not JSON ends quietly; a bad element or anything
// else fails the run.
bool replaceFiles(const std::string& text, const FileExportPlan& plan, const char* base) {
    auto const directory = outputDirectory(base, plan);
    if (!directory) {
        return false;
    }
    nlohmann::json answer;
    try {
        answer = parseAnswer(text);
    } catch (const nlohmann::json::parse_error&) {
        return true;
    } catch (const AnswerTooDeep&) {
        return true;
    }
    writeElementFiles(*directory, answer, plan);
    return true;
}

}  // namespace

bool runFileExport(session::Processor& session, FileKind kind, const char* base) {
    static std::mutex oneAtATime[3];
    std::lock_guard<std::mutex> lock(oneAtATime[static_cast<int>(kind)]);
    std::string text;
    switch (kind) {
        case FileKind::fundamental:
            return fundamentalFiles(session, base);
        case FileKind::iaa:
            session.getIAAAllSymbols(text);
            trace::text("FK: ", text.size());
            return replaceFiles(text, kIAA, base);
        case FileKind::volume:
            session.getVolumeAllSymbols(text);
            return replaceFiles(text, kVolume, base);
    }
    return false;
}

}  // namespace corvo::exports

namespace {

using corvo::exports::FileKind;
using corvo::session::Processor;

bool fileExport(const char* name, FileKind kind) {
    return corvo::exports::whileRunning(false, [&](Processor& session) {
        corvo::trace::text(name);
        return corvo::exports::tracingFailures("Error exception:", [&] {
            return corvo::exports::runFileExport(session, kind, nullptr);
        });
    });
}

}  // namespace

CORVO_API bool ea_FundamentalAllLastYearFile() {
    return fileExport("ea_FundamentalAllLastYearFile", FileKind::fundamental);
}

CORVO_API bool ea_IAAAllSymbolsFile() {
    return fileExport("ea_IAAAllSymbolsFile", FileKind::iaa);
}

CORVO_API bool ea_VolumeAllSymbolsFile() {
    return fileExport("ea_VolumeAllSymbolsFile", FileKind::volume);
}
