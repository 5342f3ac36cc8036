// A handle a host's own event loop can watch: on Linux an eventfd, readable while set; on
// Windows a manual-reset event, signalled while set. Made on first use and closed with its
// owner. Callers serialise set, reset and the first native() among themselves.
#pragma once

#include <cstdint>

namespace corvo::platform {

class ReadinessHandle {
  public:
    ReadinessHandle() = default;
    ReadinessHandle(const ReadinessHandle&) = delete;
    ReadinessHandle& operator=(const ReadinessHandle&) = delete;
    ~ReadinessHandle();

    // The native handle (a file descriptor or a HANDLE), made and set to `isSet` on the first
    // call; -1 when the system could not make one.
    std::intptr_t native(bool isSet);
    // No-ops until the handle has been made.
    void set();
    void reset();

  private:
    std::intptr_t handle_ = -1;
};

}  // namespace corvo::platform
