# Deployment constants shared with the operator's servers. Each one is checked here so a
# mistyped value stops the configure step instead of producing a library with another key.

set(CORVO_CURVE_SERVER_SECRET "sz/Y0K+RKH6MjuqkLJoW9Vt@wU:p-MtvV:7glz9g"
    CACHE STRING "Z85 CURVE secret key of the streaming server (40 characters)")
set(CORVO_AES_KEY "a410028159a24f67523374eaeacb5068"
    CACHE STRING "AES-128 key of the request cipher (32 hexadecimal digits)")
set(CORVO_AES_IV "289cee6ed6180d9541c1e9366469c565"
    CACHE STRING "AES-128-CBC initialisation vector (32 hexadecimal digits)")
set(CORVO_CLIENT_SECRET "corvoclient"
    CACHE STRING "Client secret of the credential block (11 lowercase letters)")
set(CORVO_DAY_KEY_OFFSET "0"
    CACHE STRING "Seconds added to the clock before the day key is derived")
set(CORVO_LOG_FILE "/tmp/Logs/matter.txt"
    CACHE STRING "Log file created at every session start (POSIX builds)")

function(corvo_require_match name regex what)
    if(NOT "${${name}}" MATCHES "${regex}")
        message(FATAL_ERROR "${name} must be ${what}; got \"${${name}}\"")
    endif()
endfunction()

corvo_require_match(CORVO_CURVE_SERVER_SECRET
    "^[0-9a-zA-Z.:+=^!/*?&<>()@%$#{}\\[\\-]+$" "40 Z85 characters")
string(LENGTH "${CORVO_CURVE_SERVER_SECRET}" corvo_curve_length)
if(NOT corvo_curve_length EQUAL 40 OR CORVO_CURVE_SERVER_SECRET MATCHES "\"")
    message(FATAL_ERROR "CORVO_CURVE_SERVER_SECRET must be 40 Z85 characters; "
                        "got ${corvo_curve_length}")
endif()
corvo_require_match(CORVO_AES_KEY "^[0-9a-fA-F]+$" "32 hexadecimal digits")
corvo_require_match(CORVO_AES_IV "^[0-9a-fA-F]+$" "32 hexadecimal digits")
foreach(hex_name CORVO_AES_KEY CORVO_AES_IV)
    string(LENGTH "${${hex_name}}" hex_length)
    if(NOT hex_length EQUAL 32)
        message(FATAL_ERROR "${hex_name} must be 32 hexadecimal digits; got ${hex_length}")
    endif()
endforeach()
corvo_require_match(CORVO_CLIENT_SECRET "^[a-z][a-z][a-z][a-z][a-z][a-z][a-z][a-z][a-z][a-z][a-z]$"
    "11 lowercase ASCII letters")
corvo_require_match(CORVO_DAY_KEY_OFFSET "^[-+]?[0-9]+$" "a signed integer number of seconds")
if(CORVO_DAY_KEY_OFFSET GREATER 2147483647 OR CORVO_DAY_KEY_OFFSET LESS -2147483648)
    message(FATAL_ERROR "CORVO_DAY_KEY_OFFSET must fit a signed 32-bit integer")
endif()
if(CORVO_LOG_FILE STREQUAL "" OR CORVO_LOG_FILE MATCHES "\"")
    message(FATAL_ERROR "CORVO_LOG_FILE must be a non-empty path without double quotes")
endif()

# Hexadecimal text to a C initialiser list: "0a1b.." -> "0x0a, 0x1b, ..".
function(corvo_hex_to_initialiser hex out_var)
    string(REGEX REPLACE "([0-9a-fA-F][0-9a-fA-F])" "0x\\1, " bytes "${hex}")
    string(REGEX REPLACE ", $" "" bytes "${bytes}")
    set(${out_var} "${bytes}" PARENT_SCOPE)
endfunction()
corvo_hex_to_initialiser("${CORVO_AES_KEY}" CORVO_AES_KEY_BYTES)
corvo_hex_to_initialiser("${CORVO_AES_IV}" CORVO_AES_IV_BYTES)

set(CORVO_GENERATED_DIR "${CMAKE_BINARY_DIR}/generated")
configure_file("${CMAKE_CURRENT_LIST_DIR}/build_constants.h.in"
               "${CORVO_GENERATED_DIR}/corvo/build_constants.h" @ONLY)
