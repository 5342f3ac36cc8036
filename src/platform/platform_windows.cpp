// Windows side of the platform layer: the module path from the loader, CreateDirectoryA,
// Sleep and GetTickCount.
#include "platform/platform.h"

#include <windows.h>

#include <ctime>

namespace corvo::platform {
std::optional<std::string> modulePathOf(const void* address) {
    // FROM_ADDRESS | UNCHANGED_REFCOUNT: find our own DLL without pinning it.
    HMODULE module = nullptr;
    if (!GetModuleHandleExA(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            static_cast<LPCSTR>(address), &module)) {
        return std::nullopt;
    }
    // A truncated path would point the file exports elsewhere: grow until the path fits.
    std::string path(MAX_PATH, '\0');
    for (;;) {
        DWORD const length =
            GetModuleFileNameA(module, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            return std::nullopt;
        }
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

void pause(std::chrono::milliseconds duration) {
    Sleep(static_cast<DWORD>(duration.count()));
}

std::uint32_t processId() {
    return GetCurrentProcessId();
}

std::uint32_t tickCount() {
    return GetTickCount();
}

std::int64_t coarseMilliseconds() {
    return static_cast<std::int64_t>(GetTickCount64());
}

std::tm localTime(std::time_t when) {
    std::tm result{};
    localtime_s(&result, &when);
    return result;
}

const char* logFilePath() {
    return "C:/Logs/matter.txt";
}

}  // namespace corvo::platform
