cmake_minimum_required(VERSION 3.25)
# Fails when a file of a lower layer includes one of a higher layer. The direction is
# exports -> session -> api, logging, platform, trace; a layer may include itself and the layers
# listed after its colon.
set(allowed
    "exports:exports session api logging platform trace"
    "session:session api logging platform trace"
    "api:api platform trace"
    "logging:logging platform"
    "platform:platform"
    "trace:trace")
set(layers exports session api logging platform trace)
set(violations "")
foreach(rule IN LISTS allowed)
    string(REGEX REPLACE ":.*" "" layer "${rule}")
    string(REGEX REPLACE ".*:" "" permitted "${rule}")
    separate_arguments(permitted)
    file(GLOB sources "${SOURCE_DIR}/${layer}/*.h" "${SOURCE_DIR}/${layer}/*.cpp")
    foreach(source IN LISTS sources)
        file(STRINGS "${source}" includes REGEX "^#include \"[a-z_]+/")
        foreach(line IN LISTS includes)
            string(REGEX REPLACE "^#include \"([a-z_]+)/.*" "\\1" target "${line}")
            if(target IN_LIST layers AND NOT target IN_LIST permitted)
                list(APPEND violations "${source}: ${line}")
            endif()
        endforeach()
    endforeach()
endforeach()
if(violations)
    string(REPLACE ";" "\n  " listed "${violations}")
    message(FATAL_ERROR "includes against the layer direction:\n  ${listed}")
endif()
message(STATUS "every include follows the layer direction")
