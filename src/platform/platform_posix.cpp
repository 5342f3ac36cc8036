// POSIX side of the platform layer: dladdr, mkdir, std::thread, the steady and the coarse clock.
#include "platform/platform.h"

#include <dlfcn.h>
#include <time.h>
#include <unistd.h>

#include <thread>

#include "corvo/build_constants.h"

namespace corvo::platform {

std::optional<std::string> modulePathOf(const void* address) {
    Dl_info info{};
    if (dladdr(address, &info) == 0 || info.dli_fname == nullptr) {
        return std::nullopt;
    }
    return std::string(info.dli_fname);
}

void pause(std::chrono::milliseconds duration) {
    std::this_thread::sleep_for(duration);
}

std::uint32_t processId() {
    return static_cast<std::uint32_t>(::getpid());
}

std::uint32_t tickCount() {
    auto const now = std::chrono::steady_clock::now().time_since_epoch();
    auto const ms = std::chrono::duration_cast<std::chrono::milliseconds>(now).count();
    return static_cast<std::uint32_t>(ms);
}

std::int64_t coarseMilliseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

std::tm localTime(std::time_t when) {
    std::tm result{};
    localtime_r(&when, &result);
    return result;
}

const char* logFilePath() {
    return build::kLogFile;
}

}  // namespace corvo::platform
