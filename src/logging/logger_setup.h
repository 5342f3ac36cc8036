// The logging library's set-up at session start: levels from SPDLOG_LEVEL, the rotating log
// file (opened, never written) and the periodic flush. Runs on the thread starting a session.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace spdlog::sinks {
class sink;
}

namespace corvo::logging {

class LogFileHold;
LogFileHold setUpLogging(const std::string& logFile);

// Holds the log file sink while a session starts; destroying it closes the file, and stops the
// periodic flush again unless the start succeeded (keepFlushing), so a failed start leaves no
// thread behind.
class LogFileHold {
  public:
    LogFileHold();
    LogFileHold(LogFileHold&& other) noexcept;
    LogFileHold& operator=(LogFileHold&&) = delete;
    ~LogFileHold();

    void keepFlushing() { keepFlushing_ = true; }
    // Why the log file could not be opened; empty when it was.
    const std::string& fileFailure() const { return fileFailure_; }

  private:
    friend LogFileHold setUpLogging(const std::string& logFile);
    std::vector<std::shared_ptr<spdlog::sinks::sink>> sinks_;
    std::string fileFailure_;
    bool keepFlushing_ = false;
    bool owner_ = true;
};

// Applies the levels, opens `logFile` (creating its directory) and restarts the periodic
// flush. A file that cannot be opened is reported by the hold's fileFailure, not thrown.
LogFileHold setUpLogging(const std::string& logFile);

// Stops the periodic flush worker so no thread of the library outlives the session.
void stopPeriodicFlush();

}  // namespace corvo::logging
