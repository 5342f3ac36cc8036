// Waiting on a condition with a deadline, never for a fixed time.
#pragma once

#include <chrono>
#include <functional>
#include <thread>

namespace corvo::testing {

// Polls `condition` until it holds or `deadline` passes.
inline bool eventually(const std::function<bool()>& condition,
                       std::chrono::milliseconds deadline = std::chrono::seconds(10)) {
    auto const until = std::chrono::steady_clock::now() + deadline;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= until) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

}  // namespace corvo::testing
