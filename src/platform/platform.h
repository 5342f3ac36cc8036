// The few operating-system services the library needs, one implementation per platform
// (platform_posix.cpp, platform_windows.cpp). Every function is safe to call from any thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

namespace corvo::platform {

// Separator between a directory and its entries in the paths the file exports build.
#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// Full path of the module (DLL or shared library) that contains `address`, or nothing.
std::optional<std::string> modulePathOf(const void* address);

void pause(std::chrono::milliseconds duration);

// This process's id, for names that must not clash with another process's.
std::uint32_t processId();

// Millisecond tick counter; wraps at 2^32 like the system counter it stands for.
std::uint32_t tickCount();

// Monotonic milliseconds at the resolution of the system's tick (a few milliseconds): several
// times cheaper to read than the precise clock, for stamps that only tell ages.
std::int64_t coarseMilliseconds();

// Local broken-down time of `when`, as the machine's time zone applies it.
std::tm localTime(std::time_t when);

// The file the logger set-up opens at every session start.
const char* logFilePath();

}  // namespace corvo::platform
