# Every dependency comes from the system (Debian packages installed by scripts/setup).
# The library links libzmq and Crypto++ through corvo_zmq and corvo_cryptopp, which the
# self-contained build points at static libraries of its own.
function(corvo_link_through zmq cryptopp)
    add_library(corvo_zmq INTERFACE IMPORTED)
    set_target_properties(corvo_zmq PROPERTIES INTERFACE_LINK_LIBRARIES ${zmq})
    add_library(corvo_cryptopp INTERFACE IMPORTED)
    set_target_properties(corvo_cryptopp PROPERTIES INTERFACE_LINK_LIBRARIES ${cryptopp})
endfunction()
set(CORVO_SELFCONTAINED_PREFIX "" CACHE PATH
    "Prefix with static, position-independent libzmq and Crypto++ to link into the library \
(see scripts/build-selfcontained); empty links Debian's shared libraries")
if(WIN32)
    # The MinGW-w64 cross build has its own sources for them.
    include("${CMAKE_CURRENT_LIST_DIR}/DependenciesWindows.cmake")
    corvo_link_through(PkgConfig::ZMQ PkgConfig::CRYPTOPP)
    return()
endif()
find_package(Threads REQUIRED)
find_package(Boost 1.74 REQUIRED)
find_package(nlohmann_json 3 REQUIRED)
# The library's own spdlog: compiled into it from the headers with fmt's header-only form, and
# hidden like everything but the exports, so its registry, levels and flush worker are never
# those of a host that uses the shared spdlog itself. Debian's tweakme.h selects external fmt.
find_package(fmt REQUIRED)
find_path(CORVO_SPDLOG_INCLUDE_DIR spdlog/spdlog.h REQUIRED)
add_library(corvo_spdlog INTERFACE IMPORTED)
set_target_properties(corvo_spdlog PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES "${CORVO_SPDLOG_INCLUDE_DIR}"
    INTERFACE_LINK_LIBRARIES "fmt::fmt-header-only;Threads::Threads")
find_package(PkgConfig REQUIRED)
pkg_check_modules(ZMQ REQUIRED IMPORTED_TARGET libzmq>=4.3)
pkg_check_modules(CRYPTOPP REQUIRED IMPORTED_TARGET libcrypto++)
find_path(CPPZMQ_INCLUDE_DIR zmq.hpp REQUIRED)

if(CORVO_SELFCONTAINED_PREFIX)
    include("${CMAKE_CURRENT_LIST_DIR}/DependenciesSelfContained.cmake")
else()
    corvo_link_through(PkgConfig::ZMQ PkgConfig::CRYPTOPP)
endif()
