// Counts of what the test process holds, to prove that sessions leave nothing behind.
#pragma once

#include <cstddef>
#include <filesystem>

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
inline std::size_t openDescriptors() {
    return entriesIn("/proc/self/fd");
}

}  // namespace corvo::testing
