// Windows side of the platform layer: the module path from the loader, CreateDirectoryA,
// Sleep, _beginthreadex and GetTickCount.
#include "platform/platform.h"

#include <process.h>
#include <windows.h>

#include <memory>

namespace corvo::platform {

std::optional<std::string> modulePathOf(const void* address) {
    HMODULE module = nullptr;
    // FROM_ADDRESS | UNCHANGED_REFCOUNT: find our own DLL without pinning it.
    if (!GetModuleHandleExA(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            static_cast<LPCSTR>(address), &module)) {
        return std::nullopt;
    }
    char path[MAX_PATH] = {};
    DWORD const length = GetModuleFileNameA(module, path, MAX_PATH);
    if (length == 0) {
        return std::nullopt;
    }
    return std::string(path, length);
}

void createDirectory(const std::string& path) {
    // An existing directory is the usual case, so the result is not looked at.
    (void)CreateDirectoryA(path.c_str(), nullptr);
}

void pause(std::chrono::milliseconds duration) {
    Sleep(static_cast<DWORD>(duration.count()));
}

namespace {
unsigned __stdcall runThreadBody(void* argument) {
    std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()>*>(argument));
    (*body)();
    return 0;
}
}  // namespace

bool startDetachedThread(std::function<void()> body) {
    auto owned = std::make_unique<std::function<void()>>(std::move(body));
    uintptr_t const handle = _beginthreadex(nullptr, 0, runThreadBody, owned.get(), 0, nullptr);
    if (handle == 0) {
        return false;
    }
    owned.release();  // the thread owns its body now
    CloseHandle(reinterpret_cast<HANDLE>(handle));
    return true;
}

std::uint32_t tickCount() {
    return GetTickCount();
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
