# SPDX-License-Identifier: Apache-2.0
# Interface targets that every target of the project links: warnings,
# sanitizers, and the lean code-generation flags of the wrappers.

add_library(zin_warnings INTERFACE)
target_compile_options(zin_warnings INTERFACE -Wall -Wextra -Wpedantic
    $<$<BOOL:${ZIN_WERROR}>:-Werror>)

add_library(zin_sanitizers INTERFACE)
if(ZIN_SANITIZE)
    target_compile_options(zin_sanitizers INTERFACE
        -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    target_link_options(zin_sanitizers INTERFACE -fsanitize=address,undefined)
endif()

# The wrappers start thousands of times per build: no exceptions, no RTTI,
# nothing that drags the shared C++ runtime into the process.
add_library(zin_lean INTERFACE)
target_compile_options(zin_lean INTERFACE
    $<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions -fno-rtti -fno-threadsafe-statics>)

# Common settings for the project's own libraries and programs.
function(zin_target_defaults target)
    target_link_libraries(${target} PRIVATE zin_warnings zin_sanitizers)
endfunction()
