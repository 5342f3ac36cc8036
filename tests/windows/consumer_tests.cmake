# The Windows hosts' two ways of linking the DLL through an import library:
# - MinGW's libCorvoStreaming_DLL.dll.a, by a C host of the C interface (tests/consumer), run
#   under Wine against corvo-sim;
# - the MSVC-format CorvoStreaming_DLL.lib, by a probe linked with lld-link (no C runtime).
enable_language(C)

add_executable(windows_consumer_host "${PROJECT_SOURCE_DIR}/tests/consumer/consumer_host.c")
target_link_libraries(windows_consumer_host PRIVATE CorvoStreaming_DLL)
target_link_options(windows_consumer_host PRIVATE -static)
add_dependencies(windows_consumer_host windows_test_dll)

if(CORVO_SIM_EXECUTABLE)
    add_test(NAME windows_consumer_host COMMAND windows_consumer_host "${ports_file}")
    set_tests_properties(windows_consumer_host PROPERTIES
        FIXTURES_REQUIRED "wine;sim" TIMEOUT 120)
    list(APPEND windows_tests windows_consumer_host)
endif()

# scripts/build-windows installs both.
find_program(CORVO_LLD_LINK lld-link REQUIRED)
find_program(CORVO_CLANG clang REQUIRED)
add_test(NAME windows_msvc_import_library COMMAND sh
    "${CMAKE_CURRENT_SOURCE_DIR}/check_msvc_import_library.sh"
    "${CORVO_MSVC_IMPORT_LIBRARY}" "$<TARGET_FILE:CorvoStreaming_DLL>"
    "${CMAKE_CURRENT_BINARY_DIR}/msvc-probe"
    "${PROJECT_SOURCE_DIR}/tests/exports/export_names.inc"
    "${PROJECT_SOURCE_DIR}/tests/exports/c_export_names.inc")
set_tests_properties(windows_msvc_import_library PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 120)
list(APPEND windows_tests windows_msvc_import_library)
