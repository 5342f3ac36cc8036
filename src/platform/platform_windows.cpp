// Windows side of the platform layer: the module path from the loader, CreateDirectoryA,
// Sleep, _beginthreadex and GetTickCount.
#include "platform/platform.h"

#include <process.h>
#include <windows.h>

#include <ctime>
#include <memory>

namespace corvo::platform {
namespace {

// Any address inside this module, to look the module up by.
const char kModuleAnchor = 0;

// The module holding `address`; `pin` adds a reference the caller must release.
HMODULE moduleOf(const void* address, bool pin) {
    DWORD flags = GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS;
    if (!pin) {
        flags |= GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT;
    }
    HMODULE module = nullptr;
    if (!GetModuleHandleExA(flags, static_cast<LPCSTR>(address), &module)) {
        return nullptr;
    }
    return module;
}

struct ThreadStart {
    std::function<void()> body;
    HMODULE library;  // a reference on this DLL, released as the thread ends
};

unsigned __stdcall runThreadBody(void* argument) {
    HMODULE library = nullptr;
    {
        std::unique_ptr<ThreadStart> start(static_cast<ThreadStart*>(argument));
        library = start->library;
        start->body();
    }  // the body's captures are destroyed while the DLL is still referenced
    // A host may unload the DLL as soon as a session stop returns, while this thread is still
    // on its way out of the DLL's code: its own reference keeps the code mapped until it ends.
    if (library != nullptr) {
        FreeLibraryAndExitThread(library, 0);
    }
    return 0;
}

}  // namespace

std::optional<std::string> modulePathOf(const void* address) {
    // FROM_ADDRESS | UNCHANGED_REFCOUNT: find our own DLL without pinning it.
    HMODULE const module = moduleOf(address, false);
    if (module == nullptr) {
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

void createDirectory(const std::string& path) {
    // An existing directory is the usual case, so the result is not looked at.
    (void)CreateDirectoryA(path.c_str(), nullptr);
}

void pause(std::chrono::milliseconds duration) {
    Sleep(static_cast<DWORD>(duration.count()));
}

bool startDetachedThread(std::function<void()> body) {
    auto start = std::make_unique<ThreadStart>(ThreadStart{std::move(body), nullptr});
    start->library = moduleOf(&kModuleAnchor, true);
    uintptr_t const handle = _beginthreadex(nullptr, 0, runThreadBody, start.get(), 0, nullptr);
    if (handle == 0) {
        if (start->library != nullptr) {
            FreeLibrary(start->library);
        }
        return false;
    }
    start.release();  // the thread owns its start now
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
