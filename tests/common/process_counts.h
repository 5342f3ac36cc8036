// Counts of what the test process holds, to prove that sessions leave nothing behind.
#pragma once

#include <cstddef>
#include <filesystem>
#include <fstream>
#include <string>

namespace corvo::testing {

inline std::size_t entriesIn(const char* directory) {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(directory)) {
        ++count;
    }
    return count;
}

inline std::size_t threadCount() {
    return entriesIn("/proc/self/task");
}
// The names of the threads, for a message when a count is off.
inline std::string threadNames() {
    std::string names;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) {
        std::ifstream comm(entry.path() / "comm");
        std::string name;
        std::getline(comm, name);
        names += (names.empty() ? "" : ", ") + name;
    }
    return names;
}
inline std::size_t openDescriptors() {
    return entriesIn("/proc/self/fd");
}

}  // namespace corvo::testing
