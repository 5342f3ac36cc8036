// Runs a tool of the suite as its own process, the way a user runs it, and collects what it
// printed on each stream. Not thread safe: one run at a time per test thread.
#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace corvo::testing {

struct ProgramRun {
    int status = -1;  // the exit status, or -1 when the program did not exit normally
    std::string out;
    std::string err;
};

struct RunOptions {
    std::vector<std::string> environment;  // NAME=VALUE entries added to the suite's own
    std::string interruptAfter;            // sends SIGINT once stdout holds this text
    std::chrono::seconds deadline{60};     // then the program is killed
};

ProgramRun runProgram(const std::string& path, const std::vector<std::string>& arguments,
                      const RunOptions& options = {});

}  // namespace corvo::testing
