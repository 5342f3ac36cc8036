# Install rules: the library with its headers, the tools, a CMake package
# (find_package(CorvoStreaming) -> Corvo::CorvoStreaming) and a pkg-config file (corvo.pc).
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(CORVO_INSTALL_CMAKEDIR "${CMAKE_INSTALL_LIBDIR}/cmake/CorvoStreaming"
    CACHE STRING "Where the CMake package files are installed, below the prefix")

if(NOT WIN32)
    # libCorvoStreaming_DLL.so.1 -> .so.1.1.0: hosts bound to one major version keep working
    # when a compatible release replaces the file.
    set_target_properties(CorvoStreaming_DLL PROPERTIES
        VERSION "${PROJECT_VERSION}" SOVERSION "${PROJECT_VERSION_MAJOR}")
endif()
set_target_properties(CorvoStreaming_DLL PROPERTIES EXPORT_NAME CorvoStreaming)

install(TARGETS CorvoStreaming_DLL EXPORT CorvoStreamingTargets
    RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}"
    LIBRARY DESTINATION "${CMAKE_INSTALL_LIBDIR}" NAMELINK_COMPONENT Development
    ARCHIVE DESTINATION "${CMAKE_INSTALL_LIBDIR}"
    INCLUDES DESTINATION "${CMAKE_INSTALL_INCLUDEDIR}")
install(FILES
    "${PROJECT_SOURCE_DIR}/include/CorvoStreaming_DLL.h"
    "${PROJECT_SOURCE_DIR}/include/corvo.h"
    "${CORVO_GENERATED_DIR}/corvo_version.h"
    DESTINATION "${CMAKE_INSTALL_INCLUDEDIR}")
install(FILES "${PROJECT_SOURCE_DIR}/README.md" DESTINATION "${CMAKE_INSTALL_DOCDIR}")

if(WIN32)
    # Beside MinGW's libCorvoStreaming_DLL.dll.a (the link's own import library): an import
    # library in the format MSVC's linker reads, made from the .def file that names the
    # exports, and the .def file itself for hosts that make their own.
    set(corvo_def "${PROJECT_SOURCE_DIR}/src/exports/CorvoStreaming_DLL.def")
    set(CORVO_MSVC_IMPORT_LIBRARY "${CMAKE_BINARY_DIR}/src/CorvoStreaming_DLL.lib")
    find_program(CORVO_DLLTOOL x86_64-w64-mingw32-dlltool REQUIRED)
    add_custom_command(OUTPUT "${CORVO_MSVC_IMPORT_LIBRARY}"
        COMMAND "${CORVO_DLLTOOL}" -m i386:x86-64 -d "${corvo_def}"
            -l "${CORVO_MSVC_IMPORT_LIBRARY}" -D CorvoStreaming_DLL.dll
        DEPENDS "${corvo_def}" VERBATIM)
    add_custom_target(corvo_msvc_import_library ALL DEPENDS "${CORVO_MSVC_IMPORT_LIBRARY}")
    install(FILES "${CORVO_MSVC_IMPORT_LIBRARY}" "${corvo_def}"
        DESTINATION "${CMAKE_INSTALL_LIBDIR}")
endif()

foreach(tool corvo-host corvo-sim)
    if(TARGET ${tool})
        install(TARGETS ${tool} RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")
    endif()
endforeach()

install(EXPORT CorvoStreamingTargets NAMESPACE Corvo::
    DESTINATION "${CORVO_INSTALL_CMAKEDIR}")
configure_package_config_file("${CMAKE_CURRENT_LIST_DIR}/CorvoStreamingConfig.cmake.in"
    "${CMAKE_CURRENT_BINARY_DIR}/CorvoStreamingConfig.cmake"
    INSTALL_DESTINATION "${CORVO_INSTALL_CMAKEDIR}")
write_basic_package_version_file("${CMAKE_CURRENT_BINARY_DIR}/CorvoStreamingConfigVersion.cmake"
    VERSION "${PROJECT_VERSION}" COMPATIBILITY SameMajorVersion)
install(FILES
    "${CMAKE_CURRENT_BINARY_DIR}/CorvoStreamingConfig.cmake"
    "${CMAKE_CURRENT_BINARY_DIR}/CorvoStreamingConfigVersion.cmake"
    DESTINATION "${CORVO_INSTALL_CMAKEDIR}")

# pkg-config paths relative to the .pc file, so an unpacked archive works wherever it lies.
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
    set(corvo_pc_prefix "${CMAKE_INSTALL_PREFIX}")
else()
    file(RELATIVE_PATH corvo_pc_to_prefix "/p/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/p")
    string(REGEX REPLACE "/$" "" corvo_pc_to_prefix "${corvo_pc_to_prefix}")
    set(corvo_pc_prefix "\${pcfiledir}/${corvo_pc_to_prefix}")
endif()
configure_file("${CMAKE_CURRENT_LIST_DIR}/corvo.pc.in" "${CMAKE_CURRENT_BINARY_DIR}/corvo.pc" @ONLY)
install(FILES "${CMAKE_CURRENT_BINARY_DIR}/corvo.pc"
    DESTINATION "${CMAKE_INSTALL_LIBDIR}/pkgconfig")
