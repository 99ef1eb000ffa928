# SPDX-License-Identifier: MIT
# Compiles the Windows resource script with the MinGW resource compiler, turns
# the object back into a resource script and checks what the program file will
# carry: the 12-image icon and the version information in Chinese (PRC).
# Usage: cmake -DRC_FILE=<fullscreenclock.rc> -DWORK_DIR=<dir> -DVERSION=<1.00>
#              -DVERSION_NUMBERS=<1,0,0,0> -P check_rc.cmake
# The expected version comes from the build, as the resources got it.
cmake_minimum_required(VERSION 3.25)

if(NOT VERSION OR NOT VERSION_NUMBERS MATCHES "^[0-9]+,[0-9]+,[0-9]+,[0-9]+$")
    message(FATAL_ERROR "pass -DVERSION=<x.yy> and -DVERSION_NUMBERS=<a,b,c,d>")
endif()
# windres writes the numbers as "1, 0, 0, 0"; the regexes want the dots escaped.
string(REPLACE "," ", " version_numbers "${VERSION_NUMBERS}")
string(REPLACE "," "." version_dotted "${VERSION_NUMBERS}")
string(REPLACE "." "\\." version_regex "${VERSION}")

find_program(WINDRES NAMES x86_64-w64-mingw32-windres)
if(NOT WINDRES)
    message(FATAL_ERROR "x86_64-w64-mingw32-windres not found; "
                        "install Debian's binutils-mingw-w64-x86-64")
endif()
# windres runs the MinGW C compiler as its preprocessor by default; the host's
# cpp does as well for a script that includes no headers.
find_program(RC_CPP NAMES x86_64-w64-mingw32-cpp cpp)
if(NOT RC_CPP)
    message(FATAL_ERROR "no C preprocessor (cpp) for windres found")
endif()

file(MAKE_DIRECTORY "${WORK_DIR}")
set(obj "${WORK_DIR}/fullscreenclock-rc.o")
file(REMOVE "${obj}")
execute_process(COMMAND "${WINDRES}" "--preprocessor=${RC_CPP}" -i "${RC_FILE}" -O coff
                        -o "${obj}"
                RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "windres could not compile ${RC_FILE}:\n${err}")
endif()
execute_process(COMMAND "${WINDRES}" -J coff -i "${obj}" -O rc
                RESULT_VARIABLE rc OUTPUT_VARIABLE text ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "windres could not read back ${obj}:\n${err}")
endif()
file(WRITE "${WORK_DIR}/fullscreenclock-decompiled.rc" "${text}")

set(failures "")
function(expect regex what)
    if(NOT text MATCHES "${regex}")
        set(failures "${failures}  missing: ${what}\n" PARENT_SCOPE)
    endif()
endfunction()

expect("\n 1 VERSIONINFO|\n1 VERSIONINFO" "a VERSIONINFO resource")
expect("FILEVERSION ${version_numbers}\n" "FILEVERSION ${version_dotted}")
expect("PRODUCTVERSION ${version_numbers}\n" "PRODUCTVERSION ${version_dotted}")
expect("BLOCK \"080404[Bb]0\"" "string block 080404B0")
expect("VALUE \"FileVersion\", \"${version_regex}\"\n" "FileVersion \"${VERSION}\"")
expect("VALUE \"ProductVersion\", \"${version_regex}\"\n" "ProductVersion \"${VERSION}\"")
expect("VALUE \"Translation\", 0x804, (1200|0x4[Bb]0)\n" "Translation 0x804, 1200")
expect("VALUE \"CompanyName\", L?\"[^\"]+\"" "a CompanyName")
expect("VALUE \"FileDescription\", L?\"[^\"]+\"" "a FileDescription")
expect("VALUE \"OriginalFilename\", \"fullscreenclock\\.exe\"" "OriginalFilename")
# 全屏时钟: the name arrives as UTF-16 only if the script was read as UTF-8.
expect("VALUE \"ProductName\", L\"\\\\x5168\\\\x5c4f\\\\x65f6\\\\x949f\""
       "ProductName 全屏时钟")

# windres writes a LANGUAGE line before the first resource and wherever the
# language changes, so every resource is 2052 when all of them read 4, 2.
string(REGEX MATCHALL "\nLANGUAGE [0-9]+, [0-9]+" languages "${text}")
if(NOT languages)
    string(APPEND failures "  missing: a LANGUAGE statement\n")
endif()
foreach(lang IN LISTS languages)
    if(NOT lang STREQUAL "\nLANGUAGE 4, 2")
        string(STRIP "${lang}" lang)
        string(APPEND failures "  resource not in Chinese (PRC), 2052: ${lang}\n")
    endif()
endforeach()

# The icon group: width, bit depth of each element, in order.
string(REGEX MATCHALL "RT_ICON \\*/" icons "${text}")
list(LENGTH icons icon_count)
if(NOT icon_count EQUAL 12)
    string(APPEND failures "  ${icon_count} icon images instead of 12\n")
endif()
string(REGEX MATCHALL "\"\\\\[0-7]+\\\\[0-7]+\\\\[0-7]+\\\\[0-7]+\", 1, [0-9]+," elements
       "${text}")
set(found "")
foreach(e IN LISTS elements)
    # The width byte is written in octal, e.g. \060 for 48.
    string(REGEX MATCH "^\"\\\\([0-7])([0-7])([0-7])\\\\[0-7]+\\\\[0-7]+\\\\[0-7]+\", 1, ([0-9]+),"
           _ "${e}")
    math(EXPR width "${CMAKE_MATCH_1} * 64 + ${CMAKE_MATCH_2} * 8 + ${CMAKE_MATCH_3}")
    list(APPEND found "${width}x${CMAKE_MATCH_4}")
endforeach()
set(wanted 48x4 32x4 16x4 48x8 32x8 16x8 128x32 64x32 48x32 32x32 24x32 16x32)
if(NOT found STREQUAL wanted)
    string(APPEND failures "  icon group is [${found}], expected [${wanted}]\n")
endif()

if(failures)
    message(FATAL_ERROR "compiled resources of ${RC_FILE}:\n${failures}"
                        "(read back into ${WORK_DIR}/fullscreenclock-decompiled.rc)")
endif()
message(STATUS "resources OK: version ${version_dotted}, \"${VERSION}\", language 2052, 12 icon images")
