# SPDX-License-Identifier: Apache-2.0
# Cross build for 64-bit Arm Linux with Debian's cross compilers
# (crossbuild-essential-arm64), run under qemu-user. The target system is
# FreeBSD on the same processor; this build checks what the processor
# changes (unsigned plain char, record sizes, alignment) on a system the
# build machine can emulate. `scripts/install-deps.sh cross` installs the
# compilers and the emulator.

set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(ZIN_CROSS_TRIPLE aarch64-linux-gnu)
# The target's libc, libstdc++ and dynamic loader live here, not in /.
set(ZIN_CROSS_SYSROOT /usr/${ZIN_CROSS_TRIPLE} CACHE PATH
    "Directory holding the target's C library and dynamic loader")

set(CMAKE_C_COMPILER ${ZIN_CROSS_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${ZIN_CROSS_TRIPLE}-g++)

# Libraries, headers and packages come from the target tree only; programs
# (sh, the build tools) from the build machine.
set(CMAKE_FIND_ROOT_PATH ${ZIN_CROSS_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Test programs (and gtest's test discovery) run through the emulator, and
# so do the wrappers they start: the test kit's launcher and the script tests
# put the same command in front of them. The kernel is never asked to run a
# program for another machine; the stand-in the tests run in place of the
# real tools is built for this machine (tests/tools). The static qemu,
# because a dynamic one is itself a program of this machine: an LD_PRELOAD
# meant for the emulated program would reach qemu's own loader too.
find_program(ZIN_QEMU_AARCH64 NAMES qemu-aarch64-static qemu-aarch64)
if(ZIN_QEMU_AARCH64)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${ZIN_QEMU_AARCH64} -L ${ZIN_CROSS_SYSROOT})
endif()
