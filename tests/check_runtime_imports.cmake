# Fails unless every library that LIBRARY needs (its DT_NEEDED entries) is one of the C and C++
# runtimes, so the self-contained library loads on a machine without Debian's libzmq, Crypto++,
# spdlog or fmt.
set(runtimes libc.so.6 libm.so.6 libstdc++.so.6 libgcc_s.so.1 ld-linux-x86-64.so.2)
execute_process(COMMAND readelf --dynamic --wide "${LIBRARY}" OUTPUT_VARIABLE dynamic
                RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "readelf failed on ${LIBRARY}")
endif()
string(REGEX MATCHALL "\\(NEEDED\\)[^\n]*\\[[^]\n]+\\]" entries "${dynamic}")
set(needed "")
foreach(entry IN LISTS entries)
    string(REGEX REPLACE ".*\\[([^]]+)\\]$" "\\1" name "${entry}")
    list(APPEND needed "${name}")
endforeach()
if(NOT needed)
    message(FATAL_ERROR "${LIBRARY} lists no needed library at all; readelf's output changed?")
endif()
set(others ${needed})
list(REMOVE_ITEM others ${runtimes})
if(others)
    message(FATAL_ERROR "${LIBRARY} needs more than the C and C++ runtimes: ${others}")
endif()
message(STATUS "needed: ${needed}")
