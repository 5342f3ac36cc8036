// File exports: fetch an answer for all instruments and write one file per instrument below
// the Files directory beside the library's Libraries directory. Calls of one export run one
// after another, since they share their directory.
#include <mutex>

#include "exports/conventions.h"
#include "exports/file_export_writer.h"
#include "platform/platform.h"

namespace {

using corvo::exports::FileExportPlan;
using corvo::exports::FileMode;
using corvo::exports::tracingFailures;
using corvo::exports::whileRunning;
using corvo::session::Processor;
namespace trace = corvo::trace;
namespace files = corvo::exports;

constexpr FileExportPlan kFundamental{"fundamental", "Symbol", ".txt", FileMode::appendLine};
constexpr FileExportPlan kIAA{"iaa", "symbol", ".json", FileMode::replace};
constexpr FileExportPlan kVolume{"volume", "Symbol", ".json", FileMode::replace};

// The output directory of `plan`, created if missing; nothing when the library's own path is
// unknown. Throws when that path is too short to hold a Libraries directory.
std::optional<std::string> outputDirectory(const void* exportAddress, const FileExportPlan& plan) {
    auto const modulePath = corvo::platform::modulePathOf(exportAddress);
    if (!modulePath) {
        return std::nullopt;
    }
    std::string directory =
        files::filesDirectoryOf(*modulePath) + corvo::platform::kPathSeparator + plan.directoryName;
    corvo::platform::createDirectory(directory);
    return directory;
}

}  // namespace

CORVO_API bool ea_FundamentalAllLastYearFile() {
    static std::mutex oneAtATime;
    return whileRunning(false, [](Processor& session) {
        trace::text("ea_FundamentalAllLastYearFile");
        std::lock_guard<std::mutex> lock(oneAtATime);
        return tracingFailures("Error exception:", [&] {
            std::string text;
            session.getFundaAllSym(text);
            trace::text("FK: ", text.size());
            auto const directory = outputDirectory(
                reinterpret_cast<const void*>(&ea_FundamentalAllLastYearFile), kFundamental);
            if (!directory) {
                return false;
            }
            files::emptyDirectory(*directory);
            try {
                auto answer = files::parseAnswer(text);
                files::writeElementFiles(*directory, answer, kFundamental);
            } catch (...) {
                // Whatever stops the writing ends it quietly; files written so far stay.
            }
            return true;
        });
    });
}

namespace {

// The IAA and volume exports: only an answer that is not JSON ends quietly; a bad element or
// anything else fails the export.
template <class Fetch>
bool replaceFiles(Processor& session, const void* exportAddress, const FileExportPlan& plan,
                  bool traceLength, Fetch fetch) {
    return tracingFailures("Error exception: ", [&] {
        std::string text;
        fetch(session, text);
        if (traceLength) {
            trace::text("FK: ", text.size());
        }
        auto const directory = outputDirectory(exportAddress, plan);
        if (!directory) {
            return false;
        }
        nlohmann::json answer;
        try {
            answer = files::parseAnswer(text);
        } catch (const nlohmann::json::parse_error&) {
            return true;
        } catch (const files::AnswerTooDeep&) {
            return true;
        }
        files::writeElementFiles(*directory, answer, plan);
        return true;
    });
}

}  // namespace

CORVO_API bool ea_IAAAllSymbolsFile() {
    static std::mutex oneAtATime;
    return whileRunning(false, [](Processor& session) {
        trace::text("ea_IAAAllSymbolsFile");
        std::lock_guard<std::mutex> lock(oneAtATime);
        return replaceFiles(session, reinterpret_cast<const void*>(&ea_IAAAllSymbolsFile), kIAA,
                            true,
                            [](Processor& p, std::string& text) { p.getIAAAllSymbols(text); });
    });
}

CORVO_API bool ea_VolumeAllSymbolsFile() {
    static std::mutex oneAtATime;
    return whileRunning(false, [](Processor& session) {
        trace::text("ea_VolumeAllSymbolsFile");
        std::lock_guard<std::mutex> lock(oneAtATime);
        return replaceFiles(session, reinterpret_cast<const void*>(&ea_VolumeAllSymbolsFile),
                            kVolume, false,
                            [](Processor& p, std::string& text) { p.getVolumeAllSymbols(text); });
    });
}
