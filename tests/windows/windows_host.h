// What the Windows test programs share: a pass/fail tally that ends with "N passed, M failed",
// the DLL loaded the way a host loads it (copied into <tmp>\Terminal\Libraries with a Files
// sibling, every export looked up by name), deadlines, and the reference server's ports.
#pragma once

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>

#include "CorvoStreaming_DLL.h"
#include "corvo.h"

namespace corvo::windows_test {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

inline constexpr char kDllName[] = "CorvoStreaming_DLL.dll";

class Tally {
  public:
    bool check(bool condition, const std::string& what) {
        std::printf("%s: %s\n", condition ? "ok" : "FAIL", what.c_str());
        std::fflush(stdout);
        ++(condition ? passed_ : failed_);
        return condition;
    }
    int finish() const {
        std::printf("%d passed, %d failed\n", passed_, failed_);
        std::fflush(stdout);
        return failed_ == 0 && passed_ > 0 ? 0 : 1;
    }

  private:
    int passed_ = 0;
    int failed_ = 0;
};

// Polls `condition` until it holds or `deadline` passes.
inline bool eventually(const std::function<bool()>& condition,
                       std::chrono::milliseconds deadline = std::chrono::seconds(20)) {
    auto const until = Clock::now() + deadline;
    while (!condition()) {
        if (Clock::now() >= until) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

inline long long millisecondsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

inline std::wstring wide(const std::string& text) {
    return std::wstring(text.begin(), text.end());
}

// The narrow text in a zero-filled UTF-16 result buffer, up to the first zero unit.
inline std::string narrowResult(const std::wstring& buffer) {
    std::string text;
    for (wchar_t const unit : buffer) {
        if (unit == 0) {
            break;
        }
        text.push_back(static_cast<char>(unit & 0xFF));
    }
    return text;
}

// Directory of this executable; the build puts the DLL beside it.
inline fs::path ownDirectory() {
    std::string path(MAX_PATH, '\0');
    DWORD const length = GetModuleFileNameA(nullptr, path.data(), MAX_PATH);
    path.resize(length);
    return fs::path(path).parent_path();
}

struct Exports {
#define CORVO_EXPORT_ENTRY(name) decltype(&::name) name = nullptr;
#include "exports/c_export_names.inc"
#include "exports/export_names.inc"
#undef CORVO_EXPORT_ENTRY
};

// <tmp>\corvo-<tag>-<pid>\Terminal with the DLL in Libraries and an empty Files beside it.
class Terminal {
  public:
    explicit Terminal(const std::string& tag) {
        base_ = fs::temp_directory_path() /
                ("corvo-" + tag + "-" + std::to_string(GetCurrentProcessId()));
        fs::remove_all(base_);
        fs::create_directories(libraries());
        fs::create_directories(files());
        fs::copy_file(ownDirectory() / kDllName, libraries() / kDllName);
    }
    Terminal(const Terminal&) = delete;
    Terminal& operator=(const Terminal&) = delete;
    // Best effort: a DLL still loaded (a test that exits with it) keeps its directory.
    ~Terminal() {
        std::error_code ignored;
        fs::remove_all(base_, ignored);
    }

    fs::path libraries() const { return base_ / "Terminal" / "Libraries"; }
    fs::path files() const { return base_ / "Terminal" / "Files"; }
    fs::path dll() const { return libraries() / kDllName; }
    fs::path base() const { return base_; }

  private:
    fs::path base_;
};

// The DLL loaded by its full path, every export resolved by name.
class LoadedDll {
  public:
    explicit LoadedDll(const fs::path& path) : module_(LoadLibraryA(path.string().c_str())) {
        if (module_ == nullptr) {
            throw std::runtime_error("LoadLibraryA failed for " + path.string() + ": error " +
                                     std::to_string(GetLastError()));
        }
#define CORVO_EXPORT_ENTRY(name) \
    exports_.name = reinterpret_cast<decltype(&::name)>(address(#name));
#include "exports/c_export_names.inc"
#include "exports/export_names.inc"
#undef CORVO_EXPORT_ENTRY
    }
    LoadedDll(const LoadedDll&) = delete;
    LoadedDll& operator=(const LoadedDll&) = delete;
    ~LoadedDll() {
        if (!keep_) {
            unload();
        }
    }

    // The process will end with the DLL loaded, as a host that exits without unloading does.
    void keepUntilProcessExit() {
        keep_ = true;
    }

    const Exports& exports() const {
        return exports_;
    }
    void* address(const char* name) const {
        return reinterpret_cast<void*>(GetProcAddress(module_, name));
    }

    // Drops this process's reference; answers what FreeLibrary answered.
    bool unload() {
        if (module_ == nullptr) {
            return true;
        }
        HMODULE const module = module_;
        module_ = nullptr;
        exports_ = Exports{};
        return FreeLibrary(module) != 0;
    }

  private:
    HMODULE module_;
    Exports exports_;
    bool keep_ = false;
};

// True once no module of the DLL's name is mapped in this process.
inline bool dllUnmapped() {
    return GetModuleHandleA(kDllName) == nullptr;
}

// Runs `action` with a watchdog: past `limit` the failure and the tally are printed and the
// process is ended with status 3, since a loader deadlock would otherwise hang the test run
// (the main thread is stuck in `action` then, so the watchdog may use the tally). Answers the
// milliseconds taken.
inline long long withinOrTerminate(Tally& tally, const char* what, std::chrono::milliseconds limit,
                                   const std::function<void()>& action) {
    HANDLE const ready = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE const done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::thread watchdog([&] {
        SetEvent(ready);
        if (WaitForSingleObject(done, static_cast<DWORD>(limit.count())) != WAIT_OBJECT_0) {
            tally.check(false, std::string(what) + " returns within " +
                                   std::to_string(limit.count()) + " ms");
            tally.finish();
            TerminateProcess(GetCurrentProcess(), 3);
        }
    });
    // A new thread starts under the loader lock, which `action` may be the one to hold for
    // ever: the watchdog must be running before `action` begins.
    WaitForSingleObject(ready, INFINITE);
    auto const start = Clock::now();
    action();
    long long const elapsed = millisecondsSince(start);
    SetEvent(done);
    watchdog.join();
    CloseHandle(done);
    CloseHandle(ready);
    return elapsed;
}

// "api=PORT stream=PORT" from the reference server's ports file, once it is complete.
struct SimPorts {
    int api = 0;
    int stream = 0;
};

inline std::optional<SimPorts> readSimPorts(const std::string& path) {
    std::optional<SimPorts> ports;
    eventually(
        [&] {
            std::ifstream file(path);
            std::string line;
            if (!std::getline(file, line) || line.find("stream=") == std::string::npos) {
                return false;
            }
            SimPorts read;
            if (std::sscanf(line.c_str(), "api=%d stream=%d", &read.api, &read.stream) != 2) {
                return false;
            }
            ports = read;
            return true;
        },
        std::chrono::seconds(30));
    return ports;
}

inline std::size_t filesIn(const fs::path& directory) {
    std::error_code error;
    std::size_t count = 0;
    for (fs::directory_iterator it(directory, error), end; !error && it != end;
         it.increment(error)) {
        ++count;
    }
    return count;
}

}  // namespace corvo::windows_test
