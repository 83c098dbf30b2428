# SPDX-License-Identifier: Apache-2.0
# How the three programs are linked, and the two functions that make the
# project's libraries and programs accordingly.
#
# A wrapper's own work is a few system calls; what else a run costs is mostly
# the C library's start-up (docs/performance.md). ZIN_LINK chooses:
#
#   musl-static  static PIE against musl, a small static C library: the
#                default on Linux where musl is found
#   static       static PIE against the system C library (glibc on Linux)
#   dynamic      the system C library as a shared library, for distributions
#                whose policy wants dynamic programs; what sanitizer builds use
#
# Only the installed programs follow ZIN_LINK. The unit tests link the
# libraries built against the system C library, and the fault-injection walks
# run dynamically linked twins of the programs (zin_wrapper_executable with
# LINK dynamic), since LD_PRELOAD cannot reach into a static program.

include(CheckLinkerFlag)

# ---------------------------------------------------------------- musl

# musl as Debian's musl-dev installs it (musl-tools brings musl-gcc, which is
# not used: it starts every program with Scrt1.o, never the static-PIE
# rcrt1.o). Any compiler of the GNU family drives the build instead.
set(zin_musl_triplet "${CMAKE_SYSTEM_PROCESSOR}-linux-musl")
find_path(ZIN_MUSL_INCLUDE_DIR NAMES stdio.h
    PATHS /usr/include/${zin_musl_triplet} /usr/lib/musl/include
    NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH
    DOC "musl's C headers")
find_path(ZIN_MUSL_LIBRARY_DIR NAMES rcrt1.o libc.a
    PATHS /usr/lib/${zin_musl_triplet} /usr/lib/musl/lib
    NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH
    DOC "musl's libc.a and start files (rcrt1.o, crti.o, crtn.o)")

set(ZIN_MUSL_FOUND OFF)
if(CMAKE_SYSTEM_NAME STREQUAL "Linux" AND ZIN_MUSL_INCLUDE_DIR AND ZIN_MUSL_LIBRARY_DIR
   AND CMAKE_C_COMPILER_ID MATCHES "^(GNU|Clang)$" AND CMAKE_CXX_COMPILER_ID MATCHES "^(GNU|Clang)$")
    set(ZIN_MUSL_FOUND ON)
endif()

# ---------------------------------------------------------------- the choice

if(ZIN_SANITIZE)
    set(zin_link_default dynamic)
elseif(ZIN_MUSL_FOUND)
    set(zin_link_default musl-static)
else()
    set(zin_link_default static)
endif()
set(ZIN_LINK "${zin_link_default}" CACHE STRING
    "How the wrappers are linked: musl-static, static (system libc) or dynamic")
set_property(CACHE ZIN_LINK PROPERTY STRINGS musl-static static dynamic)

if(NOT ZIN_LINK MATCHES "^(musl-static|static|dynamic)$")
    message(FATAL_ERROR "ZIN_LINK is '${ZIN_LINK}': choose musl-static, static or dynamic")
endif()
if(ZIN_SANITIZE AND NOT ZIN_LINK STREQUAL "dynamic")
    message(FATAL_ERROR "ZIN_SANITIZE needs ZIN_LINK=dynamic: the sanitizer runtimes need the "
                        "dynamic loader (ZIN_LINK is '${ZIN_LINK}')")
endif()
if(ZIN_LINK STREQUAL "musl-static" AND NOT ZIN_MUSL_FOUND)
    message(FATAL_ERROR "ZIN_LINK=musl-static needs musl for ${zin_musl_triplet} (Debian: "
                        "musl-dev) and gcc or clang; headers: ${ZIN_MUSL_INCLUDE_DIR}, "
                        "libraries: ${ZIN_MUSL_LIBRARY_DIR}. Or choose ZIN_LINK=static.")
endif()
message(STATUS "Wrappers linked: ${ZIN_LINK}")

# ---------------------------------------------------------------- musl set-up

# Everything compiled for a musl program: musl's headers in place of the
# system's. C++ keeps its compiler's standard library headers, of which the
# libraries use header-only parts (no libstdc++ runtime is linked), and the
# compiler's own builtin headers (stddef.h, stdarg.h) come last, as they do
# for musl-gcc.
if(ZIN_MUSL_FOUND AND NOT ZIN_SANITIZE)
    # The C++ library's directories: what the C++ compiler searches and the C
    # compiler does not.
    set(zin_cxx_library_dirs ${CMAKE_CXX_IMPLICIT_INCLUDE_DIRECTORIES})
    list(REMOVE_ITEM zin_cxx_library_dirs ${CMAKE_C_IMPLICIT_INCLUDE_DIRECTORIES})
    execute_process(COMMAND ${CMAKE_C_COMPILER} -print-file-name=include
                    OUTPUT_VARIABLE zin_c_builtin_dir OUTPUT_STRIP_TRAILING_WHITESPACE)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=include
                    OUTPUT_VARIABLE zin_cxx_builtin_dir OUTPUT_STRIP_TRAILING_WHITESPACE)

    set(zin_musl_compile_options -nostdinc)
    foreach(dir IN LISTS zin_cxx_library_dirs)
        list(APPEND zin_musl_compile_options "$<$<COMPILE_LANGUAGE:CXX>:-isystem${dir}>")
    endforeach()
    list(APPEND zin_musl_compile_options
        "-isystem${ZIN_MUSL_INCLUDE_DIR}"
        "$<$<COMPILE_LANGUAGE:C>:-isystem${zin_c_builtin_dir}>"
        "$<$<COMPILE_LANGUAGE:CXX>:-isystem${zin_cxx_builtin_dir}>"
        "SHELL:-include ${CMAKE_CURRENT_LIST_DIR}/zin_musl_compat.h")

    add_library(zin_musl INTERFACE)
    target_compile_options(zin_musl INTERFACE ${zin_musl_compile_options})
    # -B makes the compiler driver take musl's start files (rcrt1.o for a
    # static PIE, crti.o, crtn.o) and -L its libc.a, ahead of the system's;
    # crtbegin/crtend and libgcc stay the compiler's own.
    target_link_options(zin_musl INTERFACE -static-pie "-B${ZIN_MUSL_LIBRARY_DIR}/"
                                           "-L${ZIN_MUSL_LIBRARY_DIR}")
endif()

# The static link against the system C library: a static PIE where the
# toolchain makes one, so that the image still lands at a random address.
# Windows programs are relocatable images anyway; MinGW's linker takes the
# flag without making anything of it.
if(NOT WIN32)
    check_linker_flag(CXX -static-pie ZIN_LINKER_STATIC_PIE)
endif()

# ---------------------------------------------------------------- functions

# zin_add_library(<name> SOURCES <source>... [PUBLIC <library>...])
# One of the project's module libraries, against the system C library, and,
# where musl is set up, its twin <name>_musl compiled against musl (built
# only when a musl program needs it). PUBLIC names the libraries it builds
# on; their _musl twins go into the musl twin.
function(zin_add_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;PUBLIC" ${ARGN})
    add_library(${name} STATIC ${ARG_SOURCES})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${ARG_PUBLIC} PRIVATE zin_lean)
    zin_target_defaults(${name})

    if(TARGET zin_musl)
        set(musl_public "")
        foreach(library IN LISTS ARG_PUBLIC)
            if(TARGET ${library}_musl)
                list(APPEND musl_public ${library}_musl)
            else()
                list(APPEND musl_public ${library})
            endif()
        endforeach()
        add_library(${name}_musl STATIC EXCLUDE_FROM_ALL ${ARG_SOURCES})
        target_include_directories(${name}_musl PUBLIC ${PROJECT_SOURCE_DIR})
        target_link_libraries(${name}_musl PUBLIC ${musl_public} zin_musl PRIVATE zin_lean)
        zin_target_defaults(${name}_musl)
    endif()
endfunction()

# zin_musl_region_program(<target>)
# Links <target> as the musl wrappers are: against the musl twins of the
# libraries, with the allocation functions the region's
# (driver/region_malloc.cc), so that musl's allocator and its brk heap stay
# out, which a check after each link proves (ZinMuslAllocatorCheck.cmake).
function(zin_musl_region_program target)
    target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/driver/region_malloc.cc)
    target_link_libraries(${target} PRIVATE zin_driver_musl zin_lean)
    add_custom_command(TARGET ${target} POST_BUILD
        COMMAND ${CMAKE_COMMAND} -DNM=${CMAKE_NM} -DPROGRAM=$<TARGET_FILE:${target}>
                -P ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/ZinMuslAllocatorCheck.cmake
        VERBATIM)
endfunction()

# zin_wrapper_executable(<target> PERSONALITY <index> LINK <choice> [EXCLUDE_FROM_ALL])
# A wrapper program from driver/main.cc: the personality is its index in
# wrapper_personalities (0 zin-ar, 1 zin-nm, 2 zin-ranlib), LINK one of the
# ZIN_LINK choices.
function(zin_wrapper_executable target)
    cmake_parse_arguments(ARG "EXCLUDE_FROM_ALL" "PERSONALITY;LINK" "" ${ARGN})
    set(exclude "")
    if(ARG_EXCLUDE_FROM_ALL)
        set(exclude EXCLUDE_FROM_ALL)
    endif()
    add_executable(${target} ${exclude} ${PROJECT_SOURCE_DIR}/driver/main.cc)
    target_compile_definitions(${target} PRIVATE ZIN_PERSONALITY=${ARG_PERSONALITY})
    zin_target_defaults(${target})

    if(ARG_LINK STREQUAL "musl-static")
        if(NOT TARGET zin_musl)
            message(FATAL_ERROR "${target}: LINK musl-static, but musl is not set up")
        endif()
        # The link line still names libstdc++ (built for the system C library):
        # nothing may come from it, which the end-to-end test of lean start-up
        # checks in the symbol table.
        zin_musl_region_program(${target})
    elseif(ARG_LINK STREQUAL "static")
        target_link_libraries(${target} PRIVATE zin_driver zin_lean)
        if(ZIN_LINKER_STATIC_PIE)
            target_link_options(${target} PRIVATE -static-pie)
        else()
            target_link_options(${target} PRIVATE -static)
        endif()
    elseif(ARG_LINK STREQUAL "dynamic")
        # libc alone: --as-needed keeps libstdc++ and libm off the list.
        target_link_libraries(${target} PRIVATE zin_driver zin_lean)
        target_link_options(${target} PRIVATE -Wl,--as-needed)
    else()
        message(FATAL_ERROR "${target}: LINK '${ARG_LINK}' is none of musl-static, static, dynamic")
    endif()
endfunction()
