#include <windows.h>

#include "platform/readiness_handle.h"

namespace corvo::platform {
namespace {

HANDLE eventOf(std::intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

}  // namespace

ReadinessHandle::~ReadinessHandle() {
    if (handle_ != -1) {
        CloseHandle(eventOf(handle_));
    }
}

std::intptr_t ReadinessHandle::native(bool isSet) {
    if (handle_ == -1) {
        HANDLE const event = CreateEventW(nullptr, TRUE, isSet ? TRUE : FALSE, nullptr);
        if (event != nullptr) {
            handle_ = reinterpret_cast<std::intptr_t>(event);
        }
    }
    return handle_;
}

void ReadinessHandle::set() {
    if (handle_ != -1) {
        SetEvent(eventOf(handle_));
    }
}

void ReadinessHandle::reset() {
    if (handle_ != -1) {
        ResetEvent(eventOf(handle_));
    }
}

}  // namespace corvo::platform
