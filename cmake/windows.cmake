# The 32-bit Windows build (cross-compiled with MinGW-w64, see cmake/mingw-i686.cmake and
# tools/build-windows.sh). Provides what find_package(JUCE) provides on Linux: the JUCE CMake
# functions, the juce:: module targets, and the libraries Debian's JUCE expects from the system.

# Debian's JUCE package refuses a 32-bit target (its version file checks the pointer size), but its
# CMake functions and the host's juceaide work for any target, so they are loaded by hand.
file(GLOB _juce_cmake_dirs /usr/lib/*/cmake/JUCE-7.*)
list(GET _juce_cmake_dirs 0 SOLVANTER_JUCE_CMAKE_DIR)
find_program(SOLVANTER_JUCEAIDE juceaide PATHS /usr/lib/x86_64-linux-gnu/juce /usr/lib/juce
             NO_CMAKE_FIND_ROOT_PATH)
if(NOT SOLVANTER_JUCE_CMAKE_DIR OR NOT SOLVANTER_JUCEAIDE)
    message(FATAL_ERROR "JUCE's CMake files or juceaide not found: install juce-modules-source")
endif()
add_executable(juce::juceaide IMPORTED)
set_target_properties(juce::juceaide PROPERTIES IMPORTED_LOCATION "${SOLVANTER_JUCEAIDE}")
include(${SOLVANTER_JUCE_CMAKE_DIR}/JUCEModuleSupport.cmake)
include(${SOLVANTER_JUCE_CMAKE_DIR}/JUCEUtils.cmake)

# A copy of the modules the launcher uses, patched for this target. The system's copy stays as it is.
set(_juce_modules juce_core juce_events juce_data_structures juce_graphics juce_gui_basics juce_gui_extra)
set(_juce_copy ${CMAKE_BINARY_DIR}/juce_modules)
set(_juce_stamp ${_juce_copy}/.patched)
file(SHA256 ${CMAKE_CURRENT_LIST_FILE} _juce_patch_hash)
if(EXISTS ${_juce_stamp})
    file(READ ${_juce_stamp} _juce_stamp_hash)
endif()

# Replaces `from` with `to` in one file of the copy; a patch that no longer applies stops the build.
function(solvanter_patch_juce file from to)
    file(READ ${_juce_copy}/${file} text)
    string(FIND "${text}" "${from}" at)
    if(at EQUAL -1)
        message(FATAL_ERROR "JUCE patch no longer applies to ${file}: ${from}")
    endif()
    string(REPLACE "${from}" "${to}" text "${text}")
    file(WRITE ${_juce_copy}/${file} "${text}")
endfunction()

# Copied and patched only when this file changed, so that the copy keeps its time stamps and the
# compiler cache keeps its hits.
if(NOT "${_juce_stamp_hash}" STREQUAL "${_juce_patch_hash}")
    file(REMOVE_RECURSE ${_juce_copy})
    foreach(module IN LISTS _juce_modules)
        file(COPY /usr/share/juce/modules/${module} DESTINATION ${_juce_copy})
    endforeach()

    # 1. 32-bit MinGW: JUCE's own UUIDGetter would be declared here although the compiler knows
    #    __uuidof, and juce_gui_basics then fails with "specialization of UUIDGetter in different
    #    namespace". Fall back only where the compiler lacks __uuidof, as on 64-bit MinGW.
    solvanter_patch_juce(juce_core/native/juce_win32_ComSmartPtr.h
        "#if (JUCE_MINGW && JUCE_32BIT) || (! defined (_MSC_VER) && ! defined (__uuidof))"
        "#if ! defined (_MSC_VER) && ! defined (__uuidof)")

    # 2. Debian's JUCE includes the system's jpeglib.h inside its own namespace; MinGW's jconfig.h
    #    leaves `boolean` to windows.h, which is outside that namespace ("'boolean' has not been
    #    declared"). Declare it where the header expects it.
    solvanter_patch_juce(juce_graphics/image_formats/juce_JPEGLoader.cpp
        "    #undef FAR\n    #include <jpeglib.h>"
        "    #undef FAR\n    typedef unsigned char boolean;\n    #include <jpeglib.h>")

    # 3. Where IDXGIOutput::WaitForVBlank fails (Wine 8 answers "not implemented"), JUCE 7 never
    #    repaints after the first paint: no state text, no spinner. Tick every 16 ms instead; where
    #    the wait works nothing changes.
    solvanter_patch_juce(juce_gui_basics/native/juce_win32_Windowing.cpp
        "            else\n                Thread::sleep (1);"
        "            else\n            {\n                Thread::sleep (16);\n                triggerAsyncUpdate();\n            }")

    file(WRITE ${_juce_stamp} "${_juce_patch_hash}")
endif()

foreach(module IN LISTS _juce_modules)
    juce_add_module(${_juce_copy}/${module} ALIAS_NAMESPACE juce)
endforeach()

# Debian's JUCE compiles against the system's zlib, libpng and libjpeg (its juce_core.h turns the
# bundled copies off): MinGW's zlib, and libpng and libjpeg-turbo built by tools/build-windows.sh.
find_package(ZLIB REQUIRED)
find_package(PNG REQUIRED)
find_package(JPEG REQUIRED)
add_library(solvanter_windows_libs INTERFACE)
target_link_libraries(solvanter_windows_libs INTERFACE PNG::PNG JPEG::JPEG ZLIB::ZLIB)

# The launcher's own resource script (both icon groups, version, manifest) replaces the
# version-only one that JUCE generates.
function(solvanter_use_resource_script target script)
    get_target_property(sources ${target} SOURCES)
    list(FILTER sources EXCLUDE REGEX "/resources\\.rc$")
    set_property(TARGET ${target} PROPERTY SOURCES ${sources} ${script})
    get_filename_component(dir ${script} DIRECTORY)
    set_source_files_properties(${script} PROPERTIES COMPILE_OPTIONS "-I${dir}")
endfunction()
