# SPDX-License-Identifier: Apache-2.0
# Cross build for 64-bit Windows with Debian's MinGW-w64 (g++-mingw-w64-x86-64),
# tested under Wine on the build machine. `scripts/install-deps.sh windows`
# installs both.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ZIN_CROSS_TRIPLE x86_64-w64-mingw32)
# The posix thread variant: the win32 one lacks std::mutex, which GoogleTest needs.
set(CMAKE_C_COMPILER ${ZIN_CROSS_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZIN_CROSS_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${ZIN_CROSS_TRIPLE}-windres)
# Named, not derived from the compiler: the plain binutils programs, never
# the gcc-ar front ends.
set(CMAKE_AR ${ZIN_CROSS_TRIPLE}-ar CACHE FILEPATH "Archiver")
set(CMAKE_RANLIB ${ZIN_CROSS_TRIPLE}-ranlib CACHE FILEPATH "Archive indexer")

set(CMAKE_FIND_ROOT_PATH /usr/${ZIN_CROSS_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Every program imports system DLLs alone: the C++ runtime, libgcc and
# winpthreads are linked in, so a program runs from wherever it is copied.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# No link-time optimisation: the archives and objects stay plain for the
# plain binutils programs above.
set(CMAKE_INTERPROCEDURAL_OPTIMIZATION OFF)

# Test programs (and GoogleTest's test discovery) run under Wine, in a
# prefix inside the build directory; the script boots it on first use.
find_program(ZIN_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH
             DOC "Wine's loader of 64-bit Windows programs")
find_program(ZIN_WINESERVER NAMES wineserver64 wineserver PATHS /usr/lib/wine
             NO_CMAKE_FIND_ROOT_PATH DOC "Wine's server")
# A fresh prefix shows the build machine's root as drive Z:, so a test names
# a file of the build tree as Z:<path>.
set(ZIN_WINE_DRIVE "Z:")
if(ZIN_WINE AND ZIN_WINESERVER)
    set(CMAKE_CROSSCOMPILING_EMULATOR
        ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh ${ZIN_WINE} ${ZIN_WINESERVER}
        ${CMAKE_BINARY_DIR}/wine-prefix)
endif()
