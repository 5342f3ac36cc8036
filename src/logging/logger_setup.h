// The logging library's set-up at session start: levels from SPDLOG_LEVEL, the rotating log
// file (opened, never written) and the periodic flush. Runs on the thread starting a session.
#pragma once

#include <memory>
#include <vector>

namespace spdlog::sinks {
class sink;
}

namespace corvo::logging {

class LogFileHold;
LogFileHold setUpLogging();

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

  private:
    friend LogFileHold setUpLogging();
    std::vector<std::shared_ptr<spdlog::sinks::sink>> sinks_;
    bool keepFlushing_ = false;
    bool owner_ = true;
};

// Applies the levels, opens the log file (creating its directory) and restarts the periodic
// flush. Throws when the file cannot be opened.
LogFileHold setUpLogging();

// Stops the periodic flush worker so no thread of the library outlives the session.
void stopPeriodicFlush();

}  // namespace corvo::logging
