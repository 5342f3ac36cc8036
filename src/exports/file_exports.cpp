// File exports: fetch an answer for all instruments, check the whole of it, and only then write
// one file per instrument below the Files directory beside the library's Libraries directory
// (or a directory the caller names, through the C interface). A failure leaves every file as
// it was.
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>

#include "exports/conventions.h"
#include "exports/file_export_runs.h"
#include "platform/platform.h"
#include "session/file_export_writer.h"

namespace corvo::exports {
namespace {

using api::Done;
using api::Failure;
using api::FailureKind;
using api::Outcome;
using session::AnswerShape;
using session::FileExportPlan;
using session::FileMode;

constexpr FileExportPlan kFundamental{"fundamental", "Symbol", ".txt", FileMode::appendLine,
                                      AnswerShape::arrayOfObjects};
constexpr FileExportPlan kIAA{"iaa", "symbol", ".json", FileMode::replace,
                              AnswerShape::arrayOfObjects};
constexpr FileExportPlan kVolume{"volume", "Symbol", ".json", FileMode::replace,
                                 AnswerShape::objectOfObjects};

const FileExportPlan& planOf(FileKind kind) {
    switch (kind) {
        case FileKind::fundamental:
            return kFundamental;
        case FileKind::iaa:
            return kIAA;
        case FileKind::volume:
            break;
    }
    return kVolume;
}

api::PostOutcome fetch(session::Processor& session, FileKind kind) {
    switch (kind) {
        case FileKind::fundamental:
            return session.getFundaAllSym();
        case FileKind::iaa:
            return session.getIAAAllSymbols();
        case FileKind::volume:
            break;
    }
    return session.getVolumeAllSymbols();
}

// The output directory of `plan` below `base`, or below the library's Files directory.
Outcome<std::string> outputDirectory(const char* base, const FileExportPlan& plan) {
    std::string root;
    if (base != nullptr) {
        root = base;
    } else {
        auto const modulePath =
            platform::modulePathOf(reinterpret_cast<const void*>(&runFileExport));
        if (!modulePath) {
            return Failure{FailureKind::local, "the library's own path is unknown"};
        }
        try {
            root = session::filesDirectoryOf(*modulePath);
        } catch (const std::out_of_range&) {
            return Failure{
                FailureKind::local,
                "the library's directory is too short to hold \"Libraries\": " + *modulePath};
        }
    }
    return root + platform::kPathSeparator + plan.directoryName;
}

// Runs of one output directory go one after another, whichever export or family they come
// from: two of them emptying and writing the same directory at once would mix their files.
std::mutex& directoryLock(const std::string& directory) {
    static std::mutex registry;
    static std::map<std::string, std::unique_ptr<std::mutex>> locks;
    std::error_code error;
    auto path = std::filesystem::absolute(directory, error);
    std::string const key = error ? directory : path.lexically_normal().string();
    std::lock_guard<std::mutex> lock(registry);
    auto& slot = locks[key];
    if (!slot) {
        slot = std::make_unique<std::mutex>();
    }
    return *slot;
}

}  // namespace

Outcome<Done> runFileExport(session::Processor& session, FileKind kind, const char* base,
                            api::ErrorStatus errorStatus) {
    FileExportPlan const& plan = planOf(kind);
    auto reply = fetch(session, kind);
    std::string const exchange = reply ? reply.value().exchange : std::string();
    auto const text = api::replyBody(std::move(reply), errorStatus);
    if (!text) {
        return text.failure();
    }
    if (kind != FileKind::volume) {
        trace::text("FK: ", text.value().size());
    }
    auto const files = session::planFiles(text.value(), plan);
    if (!files) {
        return Failure{files.failure().kind, exchange + ": " + files.failure().reason};
    }
    auto const directory = outputDirectory(base, plan);
    if (!directory) {
        return directory.failure();
    }
    std::lock_guard<std::mutex> lock(directoryLock(directory.value()));
    auto const usable = session::ensureDirectory(directory.value());
    if (!usable) {
        return usable;
    }
    // Instruments that left the answer leave the fundamental directory too.
    if (plan.mode == FileMode::appendLine) {
        auto const emptied = session::emptyDirectory(directory.value());
        if (!emptied) {
            return emptied;
        }
    }
    session::writeFiles(directory.value(), files.value());
    return Done{};
}

}  // namespace corvo::exports

namespace {

using corvo::exports::FileKind;
using corvo::session::Processor;

bool fileExport(const char* name, FileKind kind) {
    return corvo::exports::whileRunning(false, [&](Processor& session) {
        corvo::trace::text(name);
        return corvo::exports::tracingFailures("Error exception:", [&] {
            auto const outcome = corvo::exports::runFileExport(session, kind, nullptr,
                                                               corvo::api::ErrorStatus::asReply);
            if (!outcome) {
                corvo::trace::text("Error exception:", outcome.failure().reason);
            }
            return outcome.ok();
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
