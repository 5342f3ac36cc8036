# The self-contained Linux library: static, position-independent libzmq and Crypto++ that
# scripts/build-selfcontained builds from Debian's source packages into
# CORVO_SELFCONTAINED_PREFIX. The library's version script hides them with everything else, so
# it imports only the C and C++ runtimes. The peers and tools keep Debian's shared libzmq.
set(corvo_prefix "${CORVO_SELFCONTAINED_PREFIX}")
foreach(required lib/libzmq.a lib/libcrypto++.a include/zmq.h include/cryptopp/aes.h)
    if(NOT EXISTS "${corvo_prefix}/${required}")
        message(FATAL_ERROR "CORVO_SELFCONTAINED_PREFIX (\"${corvo_prefix}\") lacks ${required}; "
                            "run scripts/build-selfcontained")
    endif()
endforeach()
if(CORVO_BUILD_TESTS OR CORVO_BUILD_BENCH)
    # Their executables link the client's code and the peers' Debian libzmq side by side.
    message(FATAL_ERROR "CORVO_SELFCONTAINED_PREFIX builds the library and the tools only: "
                        "set CORVO_BUILD_TESTS and CORVO_BUILD_BENCH to OFF")
endif()

add_library(corvo_zmq STATIC IMPORTED)
set_target_properties(corvo_zmq PROPERTIES
    IMPORTED_LOCATION "${corvo_prefix}/lib/libzmq.a"
    INTERFACE_INCLUDE_DIRECTORIES "${corvo_prefix}/include"
    INTERFACE_LINK_LIBRARIES Threads::Threads)

add_library(corvo_cryptopp STATIC IMPORTED)
set_target_properties(corvo_cryptopp PROPERTIES
    IMPORTED_LOCATION "${corvo_prefix}/lib/libcrypto++.a"
    INTERFACE_INCLUDE_DIRECTORIES "${corvo_prefix}/include")
