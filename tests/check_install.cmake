# SPDX-License-Identifier: MIT
# Installs the build tree into a scratch prefix and checks that every file is
# where a freedesktop desktop looks for it, and that the desktop entry points at
# the installed program and icons.
# Usage: cmake -DBUILD_DIR=<build> -DPREFIX=<scratch dir> -P check_install.cmake
cmake_minimum_required(VERSION 3.25)

file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "cmake --install failed (exit ${rc}):\n${out}${err}")
endif()

set(failures "")
function(fail text)
    set(failures "${failures}  ${text}\n" PARENT_SCOPE)
endfunction()

set(desktop "${PREFIX}/share/applications/fullscreenclock.desktop")
if(NOT EXISTS "${desktop}")
    fail("no desktop entry at share/applications/fullscreenclock.desktop")
    set(exec "")
    set(icon "")
else()
    file(STRINGS "${desktop}" exec_line REGEX "^Exec=")
    file(STRINGS "${desktop}" icon_line REGEX "^Icon=")
    string(REGEX REPLACE "^Exec=([^ ]+).*" "\\1" exec "${exec_line}")
    string(REGEX REPLACE "^Icon=" "" icon "${icon_line}")
    # The window manager matches the window's class, the program name, with
    # the entry's file name.
    if(NOT exec STREQUAL "fullscreenclock")
        fail("Exec= runs '${exec}', not fullscreenclock")
    endif()
    if(icon STREQUAL "" OR icon MATCHES "/")
        fail("Icon= must name a theme icon, found '${icon}'")
    endif()
endif()

set(program "${PREFIX}/bin/${exec}")
if(exec STREQUAL "" OR NOT EXISTS "${program}")
    fail("program not installed at bin/${exec}")
else()
    file(READ "${program}" magic LIMIT 4 HEX)
    if(NOT magic STREQUAL "7f454c46")
        fail("bin/${exec} is not an ELF executable")
    endif()
endif()

foreach(size 16 24 32 48 64 128)
    set(png "${PREFIX}/share/icons/hicolor/${size}x${size}/apps/${icon}.png")
    if(NOT EXISTS "${png}")
        fail("no icon at share/icons/hicolor/${size}x${size}/apps/${icon}.png")
        continue()
    endif()
    # IHDR: the signature, then length and tag, then width and height.
    file(READ "${png}" ihdr OFFSET 12 LIMIT 12 HEX)
    string(SUBSTRING "${ihdr}" 8 8 w)
    string(SUBSTRING "${ihdr}" 16 8 h)
    math(EXPR w "0x${w}")
    math(EXPR h "0x${h}")
    if(NOT ihdr MATCHES "^49484452" OR NOT w EQUAL size OR NOT h EQUAL size)
        fail("hicolor/${size}x${size}/apps/${icon}.png is not a ${size}x${size} PNG")
    endif()
endforeach()
if(NOT EXISTS "${PREFIX}/share/icons/hicolor/scalable/apps/${icon}.svg")
    fail("no icon at share/icons/hicolor/scalable/apps/${icon}.svg")
endif()

if(failures)
    message(FATAL_ERROR "installed tree ${PREFIX}:\n${failures}")
endif()
message(STATUS "installed tree ${PREFIX}: program, desktop entry and icons in place")
