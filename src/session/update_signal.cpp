#include "session/update_signal.h"

namespace corvo::session {

void UpdateSignal::raise() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!raised_) {
        raised_ = true;
        handle_.set();
        changed_.notify_all();
    }
}

void UpdateSignal::lower() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (raised_) {
        raised_ = false;
        handle_.reset();
    }
}

void UpdateSignal::wakeAll() {
    // Taken so that a waiter between its check and its sleep cannot miss the change.
    std::lock_guard<std::mutex> lock(mutex_);
    changed_.notify_all();
}

std::intptr_t UpdateSignal::handle() {
    std::lock_guard<std::mutex> lock(mutex_);
    return handle_.native(raised_);
}

}  // namespace corvo::session
