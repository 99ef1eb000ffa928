# SPDX-License-Identifier: MIT
# Cross build for 64-bit Windows with Debian's MinGW-w64, in its POSIX thread
# variant (the win32-thread one has no std::thread or std::mutex). The runtime
# libraries are linked statically, so the program imports only DLLs of the
# system. Programs run under Wine through scripts/wine-run, which is also how
# CTest runs the cross-built tests.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CLOCK_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${CLOCK_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${CLOCK_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${CLOCK_MINGW_TRIPLET}-windres)
# The compilers' "-posix" suffix hides the tools' prefix from CMake.
set(CMAKE_AR ${CLOCK_MINGW_TRIPLET}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${CLOCK_MINGW_TRIPLET}-ranlib CACHE FILEPATH "")
set(CMAKE_STRIP ${CLOCK_MINGW_TRIPLET}-strip CACHE FILEPATH "")
set(CMAKE_OBJDUMP ${CLOCK_MINGW_TRIPLET}-objdump CACHE FILEPATH "")

# Headers and libraries only from the MinGW tree; programs from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${CLOCK_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# libgcc, libstdc++ and winpthread inside the program; a release build
# carries no symbol table.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_EXE_LINKER_FLAGS_RELEASE_INIT "-s")

if(NOT DEFINED CMAKE_CROSSCOMPILING_EMULATOR)
    get_filename_component(clock_source_root "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
    set(CMAKE_CROSSCOMPILING_EMULATOR
        "${clock_source_root}/scripts/wine-run;--prefix;${CMAKE_BINARY_DIR}/wine-prefix")
endif()
