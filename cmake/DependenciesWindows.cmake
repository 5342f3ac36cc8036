# Windows (MinGW-w64) dependencies. libzmq and Crypto++ are static libraries that
# scripts/build-windows cross-builds into CORVO_WINDOWS_PREFIX; the header-only parts come from
# Debian's headers through CORVO_WINDOWS_PREFIX/debian-headers, a folder of links to just those
# folders (/usr/include itself would bring glibc headers into the cross build). The imported
# targets carry the names the POSIX build gets from its packages, so src/ links them unchanged.
set(CORVO_WINDOWS_PREFIX "$ENV{CORVO_WINDOWS_PREFIX}"
    CACHE PATH "Cross prefix with the static libzmq and Crypto++ (see scripts/build-windows)")

set(corvo_prefix "${CORVO_WINDOWS_PREFIX}")
set(corvo_headers "${corvo_prefix}/debian-headers")
foreach(required lib/libzmq.a lib/libcrypto++.a include/zmq.h include/cryptopp/aes.h
                 debian-headers/boost debian-headers/nlohmann debian-headers/spdlog
                 debian-headers/fmt debian-headers/zmq.hpp)
    if(NOT EXISTS "${corvo_prefix}/${required}")
        message(FATAL_ERROR "CORVO_WINDOWS_PREFIX (\"${corvo_prefix}\") lacks ${required}; "
                            "run scripts/build-windows")
    endif()
endforeach()

find_package(Threads REQUIRED)

add_library(PkgConfig::ZMQ STATIC IMPORTED)
set_target_properties(PkgConfig::ZMQ PROPERTIES
    IMPORTED_LOCATION "${corvo_prefix}/lib/libzmq.a"
    INTERFACE_INCLUDE_DIRECTORIES "${corvo_prefix}/include"
    INTERFACE_COMPILE_DEFINITIONS ZMQ_STATIC
    INTERFACE_LINK_LIBRARIES "ws2_32;iphlpapi;rpcrt4")

add_library(PkgConfig::CRYPTOPP STATIC IMPORTED)
set_target_properties(PkgConfig::CRYPTOPP PROPERTIES
    IMPORTED_LOCATION "${corvo_prefix}/lib/libcrypto++.a"
    INTERFACE_INCLUDE_DIRECTORIES "${corvo_prefix}/include"
    INTERFACE_LINK_LIBRARIES bcrypt)

add_library(corvo_debian_headers INTERFACE IMPORTED)
set_target_properties(corvo_debian_headers PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES "${corvo_headers}")

add_library(Boost::headers INTERFACE IMPORTED)
set_target_properties(Boost::headers PROPERTIES
    INTERFACE_LINK_LIBRARIES "corvo_debian_headers;ws2_32;mswsock")

add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
set_target_properties(nlohmann_json::nlohmann_json PROPERTIES
    INTERFACE_LINK_LIBRARIES corvo_debian_headers)

# The library's own spdlog, as on POSIX: header-only without SPDLOG_COMPILED_LIB, with fmt's
# header-only form (Debian's tweakme.h selects the external fmt).
add_library(corvo_spdlog INTERFACE IMPORTED)
set_target_properties(corvo_spdlog PROPERTIES
    INTERFACE_LINK_LIBRARIES corvo_debian_headers
    INTERFACE_COMPILE_DEFINITIONS FMT_HEADER_ONLY)

set(CPPZMQ_INCLUDE_DIR "${corvo_headers}")

# Windows 10 API level; no winsock.h from windows.h (Asio wants winsock2.h) and no min/max
# macros. Asio and Beast objects exceed the default COFF section count.
add_compile_definitions(_WIN32_WINNT=0x0A00 WIN32_LEAN_AND_MEAN NOMINMAX)
add_compile_options(-Wa,-mbig-obj)
