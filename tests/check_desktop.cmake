# SPDX-License-Identifier: MIT
# Runs desktop-file-validate on the desktop entry. Its warnings and hints count
# as failures too: a hint such as a missing main category already means the
# clock lands in a catch-all corner of the menu.
# Usage: cmake -DDESKTOP_FILE=<file.desktop> -P check_desktop.cmake
cmake_minimum_required(VERSION 3.25)

find_program(VALIDATE NAMES desktop-file-validate)
if(NOT VALIDATE)
    message(FATAL_ERROR "desktop-file-validate not found; install Debian's desktop-file-utils")
endif()
execute_process(COMMAND "${VALIDATE}" "${DESKTOP_FILE}"
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0 OR NOT "${out}${err}" STREQUAL "")
    message(FATAL_ERROR "desktop-file-validate ${DESKTOP_FILE} (exit ${rc}):\n${out}${err}")
endif()
message(STATUS "${DESKTOP_FILE}: valid")
