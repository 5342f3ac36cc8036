# Cross-compiling for Windows x86-64 with Debian's MinGW-w64 (the -posix compilers, whose
# libstdc++ has std::thread). Used for the DLL and, by scripts/build-windows, for libzmq.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
# libzmq derives _WIN32_WINNT from this; an empty value breaks its build.
set(CMAKE_SYSTEM_VERSION 10.0)

set(CORVO_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${CORVO_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${CORVO_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${CORVO_MINGW_TRIPLE}-windres)

# Libraries, headers and packages only from the MinGW sysroot and the cross prefix that
# scripts/build-windows fills (passed in the environment so try_compile sees it too); host
# programs stay usable.
set(CMAKE_FIND_ROOT_PATH /usr/${CORVO_MINGW_TRIPLE})
if(DEFINED ENV{CORVO_WINDOWS_PREFIX})
    list(APPEND CMAKE_FIND_ROOT_PATH "$ENV{CORVO_WINDOWS_PREFIX}")
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Test executables run under Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
