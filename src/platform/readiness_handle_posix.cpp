#include <sys/eventfd.h>
#include <unistd.h>

#include "platform/readiness_handle.h"

namespace corvo::platform {

ReadinessHandle::~ReadinessHandle() {
    if (handle_ >= 0) {
        close(static_cast<int>(handle_));
    }
}

std::intptr_t ReadinessHandle::native(bool isSet) {
    if (handle_ < 0) {
        handle_ = eventfd(isSet ? 1 : 0, EFD_CLOEXEC | EFD_NONBLOCK);
    }
    return handle_;
}

void ReadinessHandle::set() {
    if (handle_ >= 0) {
        eventfd_write(static_cast<int>(handle_), 1);
    }
}

void ReadinessHandle::reset() {
    if (handle_ >= 0) {
        eventfd_t drained = 0;
        // Non-blocking: reads the count back to zero, or fails at once when already zero.
        (void)eventfd_read(static_cast<int>(handle_), &drained);
    }
}

}  // namespace corvo::platform
