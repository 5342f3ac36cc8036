#include "logging/logger_setup.h"

#include <spdlog/cfg/env.h>
#include <spdlog/sinks/rotating_file_sink.h>
#include <spdlog/spdlog.h>

namespace corvo::logging {
namespace {
constexpr std::size_t kMaxFileSize = 209715200;
constexpr std::size_t kMaxFiles = 100;
constexpr std::chrono::seconds kFlushInterval{10};
}  // namespace

LogFileHold::LogFileHold() = default;

LogFileHold::LogFileHold(LogFileHold&& other) noexcept
    : sinks_(std::move(other.sinks_)),
      fileFailure_(std::move(other.fileFailure_)),
      keepFlushing_(other.keepFlushing_) {
    other.owner_ = false;
}

LogFileHold::~LogFileHold() {
    if (owner_ && !keepFlushing_) {
        stopPeriodicFlush();
    }
}

LogFileHold setUpLogging(const std::string& logFile) {
    spdlog::cfg::load_env_levels();
    LogFileHold hold;
    try {
        hold.sinks_.push_back(std::make_shared<spdlog::sinks::rotating_file_sink_mt>(
            logFile, kMaxFileSize, kMaxFiles, false));
    } catch (const spdlog::spdlog_ex& error) {
        // Nothing is ever written to the file, so a start never fails over it.
        hold.fileFailure_ = error.what();
    }
    spdlog::flush_every(kFlushInterval);
    return hold;
}

void stopPeriodicFlush() {
    // A zero interval replaces the worker with none; the old one is stopped and joined.
    spdlog::flush_every(std::chrono::seconds(0));
}

}  // namespace corvo::logging
