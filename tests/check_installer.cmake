# SPDX-License-Identifier: MIT
# Packs the Windows installer with CPack, installs it silently under Wine and
# checks what it leaves: the program and its read-me in Program Files, the
# Start-menu entry and the uninstaller; then uninstalls silently and checks
# that they are gone.
# Usage: cmake -DBUILD_DIR=<build> -DWINE_RUN=<scripts/wine-run> -DPREFIX=<wine prefix>
#              -DWORK_DIR=<dir> -DVERSION=<1.00> -P check_installer.cmake
cmake_minimum_required(VERSION 3.25)

set(display_name "全屏时钟")
set(program_dir "${PREFIX}/drive_c/Program Files/${display_name}")
set(menu_dir "${PREFIX}/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/${display_name}")

file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
execute_process(COMMAND "${CMAKE_CPACK_COMMAND}" -G NSIS --config "${BUILD_DIR}/CPackConfig.cmake"
                        -B "${WORK_DIR}"
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out TIMEOUT 120)
file(GLOB installer "${WORK_DIR}/*-win64.exe")
if(NOT rc EQUAL 0 OR NOT installer)
    message(FATAL_ERROR "cpack made no installer:\n${out}")
endif()

# The uninstaller copies itself away and runs from there: wait for it, at most 30 s.
function(uninstall)
    execute_process(COMMAND "${WINE_RUN}" --prefix "${PREFIX}"
                            "C:\\Program Files\\${display_name}\\Uninstall.exe" /S
                    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out TIMEOUT 60)
    foreach(attempt RANGE 60)
        if(NOT EXISTS "${program_dir}" AND NOT EXISTS "${menu_dir}")
            return()
        endif()
        execute_process(COMMAND "${CMAKE_COMMAND}" -E sleep 0.5)
    endforeach()
    message(FATAL_ERROR "the silent uninstall (${rc}) left ${program_dir} or ${menu_dir}:\n${out}")
endfunction()

# A run before may have left an installation behind: its own uninstaller
# removes it, registry entry included, which the installer would otherwise
# try to run first.
if(EXISTS "${program_dir}/Uninstall.exe")
    uninstall()
endif()
file(REMOVE_RECURSE "${program_dir}" "${menu_dir}")
execute_process(COMMAND "${WINE_RUN}" --prefix "${PREFIX}" "${installer}" /S
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out TIMEOUT 120)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "the installer failed (${rc}):\n${out}")
endif()

set(failures "")
foreach(file IN ITEMS "${program_dir}/fullscreenclock.exe" "${program_dir}/readme.txt"
                      "${program_dir}/ARPHICPL.TXT"
                      "${program_dir}/Uninstall.exe" "${menu_dir}/${display_name}.lnk")
    if(NOT EXISTS "${file}")
        string(APPEND failures "  not installed: ${file}\n")
    endif()
endforeach()
if(failures)
    message(FATAL_ERROR "after the silent install:\n${failures}")
endif()
# The read-me names the version that project() gives, in both languages.
file(STRINGS "${program_dir}/readme.txt" titles ENCODING UTF-8 REGEX "^(全屏时钟|Full Screen Clock) ")
if(NOT titles STREQUAL "全屏时钟 ${VERSION};Full Screen Clock ${VERSION}")
    message(FATAL_ERROR "the read-me's titles are \"${titles}\", not version ${VERSION}")
endif()
file(SIZE "${program_dir}/fullscreenclock.exe" size)
if(size LESS 100000)
    message(FATAL_ERROR "the installed program has only ${size} bytes")
endif()

uninstall()
