// Tells waiting hosts that updates are pending. The store raises it when the subscriber
// announces updates filed while nothing was pending (once per batch of messages) and lowers it
// when a take leaves nothing, both under the store gate, so a waiter never holds that gate. Hosts
// wait on it in the library (wait) or watch its handle in their own event loop. One per library:
// the handle stays the same across sessions.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>

#include "platform/readiness_handle.h"

namespace corvo::session {

class UpdateSignal {
  public:
    enum class Wake { pending, timedOut, interrupted };

    void raise();
    void lower();

    // Waits until updates are pending, `timeout` passes (none: no limit), or `interrupted()`
    // answers true; it is asked under the signal's lock, so whoever makes it true must call
    // wakeAll afterwards.
    template <class Interrupted>
    Wake wait(std::optional<std::chrono::milliseconds> timeout, Interrupted&& interrupted) {
        std::unique_lock<std::mutex> lock(mutex_);
        auto const woken = [&] { return raised_ || interrupted(); };
        if (timeout) {
            changed_.wait_for(lock, *timeout, woken);
        } else {
            changed_.wait(lock, woken);
        }
        // A stop outweighs updates still pending: they belong to the session that stopped.
        if (interrupted()) {
            return Wake::interrupted;
        }
        return raised_ ? Wake::pending : Wake::timedOut;
    }
    void wakeAll();

    // The handle for the host's event loop, made on first use; -1 when none could be made.
    std::intptr_t handle();

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool raised_ = false;  // under mutex_
    platform::ReadinessHandle handle_;
};

}  // namespace corvo::session
