# Fails unless the DLL exports exactly the names in export_names.inc and imports only Windows
# system DLLs (libstdc++, libgcc, winpthread, libzmq and Crypto++ are linked in statically).
# Usage: cmake -DOBJDUMP=... -DDLL=... -DNAMES=... -P check_dll_tables.cmake
cmake_minimum_required(VERSION 3.25)
execute_process(COMMAND "${OBJDUMP}" -p "${DLL}" OUTPUT_VARIABLE dump RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "${OBJDUMP} -p failed on ${DLL}")
endif()

# The names follow "[Ordinal/Name Pointer] Table", one "\t[   0] name" row each, up to a
# blank line.
string(FIND "${dump}" "[Ordinal/Name Pointer] Table" start)
set(exported "")
if(start GREATER -1)
    string(SUBSTRING "${dump}" ${start} -1 table)
    string(FIND "${table}" "\n\n" end)
    string(SUBSTRING "${table}" 0 ${end} table)
    string(REGEX MATCHALL "\\[ *[0-9]+\\] [A-Za-z0-9_]+" rows "${table}")
    foreach(row IN LISTS rows)
        string(REGEX REPLACE ".* " "" name "${row}")
        list(APPEND exported "${name}")
    endforeach()
endif()
include("${CMAKE_CURRENT_LIST_DIR}/../expect_export_names.cmake")
corvo_expect_export_names("${exported}" "${NAMES}")

set(system_dlls advapi32.dll bcrypt.dll crypt32.dll iphlpapi.dll kernel32.dll msvcrt.dll
    mswsock.dll ntdll.dll ole32.dll rpcrt4.dll secur32.dll shell32.dll user32.dll ws2_32.dll)
string(REGEX MATCHALL "DLL Name: [^\n]+" import_rows "${dump}")
set(imported "")
foreach(row IN LISTS import_rows)
    string(REGEX REPLACE "DLL Name: " "" name "${row}")
    string(STRIP "${name}" name)
    list(APPEND imported "${name}")
    string(TOLOWER "${name}" lower)
    if(NOT lower IN_LIST system_dlls AND NOT lower MATCHES "^api-ms-win-")
        message(FATAL_ERROR "the DLL imports ${name}, which is not a Windows system DLL")
    endif()
endforeach()
list(LENGTH exported count)
message(STATUS "exports (${count}): ${exported}")
message(STATUS "imports: ${imported}")
