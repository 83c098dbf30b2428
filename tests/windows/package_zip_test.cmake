# SPDX-License-Identifier: Apache-2.0
# The ZIP as a user gets it: made by cpack, unpacked, moved to a directory
# whose name is Greek and CJK, the toolchain's ar, nm and ranlib (the
# stand-in tool) and its plugin put where the tree expects them; then each
# wrapper runs under Wine from there and must find both through its own
# location. The ZIP carries the project's licence and the notice of the
# MinGW-w64 runtime the programs embed. Variables (-D): CPACK, BUILD_DIR,
# SCRATCH, EMULATOR (;-list), STAND_IN, BIN_DIR, TOOL_DIR, PLUGIN_DIR, PLUGIN,
# DOC_DIR, LICENSE, NOTICE.

cmake_minimum_required(VERSION 3.25)

file(REMOVE_RECURSE "${SCRATCH}")
file(MAKE_DIRECTORY "${SCRATCH}/unpacked")
execute_process(COMMAND "${CPACK}" -G ZIP -B "${SCRATCH}/package" --config CPackConfig.cmake
                WORKING_DIRECTORY "${BUILD_DIR}" OUTPUT_VARIABLE output ERROR_VARIABLE output
                RESULT_VARIABLE status)
file(GLOB zips "${SCRATCH}/package/*.zip")
list(LENGTH zips zip_count)
if(NOT status EQUAL 0 OR NOT zip_count EQUAL 1)
    message(FATAL_ERROR "cpack made no single ZIP (status ${status}):\n${output}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf "${zips}"
                WORKING_DIRECTORY "${SCRATCH}/unpacked" COMMAND_ERROR_IS_FATAL ANY)
file(GLOB top "${SCRATCH}/unpacked/*")

# Moved away from where it was unpacked, below a name outside ASCII.
set(root "${SCRATCH}/Ζίν 工具链/toolchain")
file(MAKE_DIRECTORY "${SCRATCH}/Ζίν 工具链")
file(RENAME "${top}" "${root}")
foreach(tool ar nm ranlib)
    file(COPY_FILE "${STAND_IN}" "${root}/${TOOL_DIR}/${tool}.exe")
endforeach()
file(TOUCH "${root}/${PLUGIN_DIR}/${PLUGIN}")

set(failures "")
set(doc_files LICENSE COPYRIGHT.mingw-w64)
set(doc_sources "${LICENSE}" "${NOTICE}")
foreach(file source IN ZIP_LISTS doc_files doc_sources)
    set(packed "${root}/${DOC_DIR}/${file}")
    if(NOT EXISTS "${packed}")
        string(APPEND failures "the ZIP lacks ${DOC_DIR}/${file}\n")
        continue()
    endif()
    file(SHA256 "${packed}" packed_hash)
    file(SHA256 "${source}" source_hash)
    if(NOT packed_hash STREQUAL source_hash)
        string(APPEND failures "${DOC_DIR}/${file} in the ZIP is not ${source}\n")
    endif()
endforeach()

set(wrappers zin-ar zin-nm zin-ranlib)
set(tools ar nm ranlib)
set(firsts rc -g x.a)
foreach(wrapper tool first IN ZIP_LISTS wrappers tools firsts)
    set(ENV{STAND_IN_EXIT} 7)
    execute_process(COMMAND ${EMULATOR} "${root}/${BIN_DIR}/${wrapper}.exe" ${first} "Ω 漢"
                    OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE status)
    # The stand-in prints its argument vector, one element a line: the tool
    # and the plugin as the wrapper found them in the moved tree, then the
    # arguments.
    string(REPLACE "\\" "/" out "${out}")
    string(REPLACE "\n" ";" lines "${out}")
    list(LENGTH lines count)
    set(expected_first "${first}")
    if(wrapper STREQUAL "zin-ar")
        set(expected_first "-${first}")
    endif()
    if(NOT status EQUAL 7 OR NOT err STREQUAL "" OR NOT count EQUAL 6)
        string(APPEND failures "${wrapper}: status ${status}, output:\n${out}\nerrors:\n${err}\n")
        continue()
    endif()
    list(GET lines 0 tool_path)
    list(GET lines 1 option)
    list(GET lines 2 plugin_path)
    list(GET lines 3 argument1)
    list(GET lines 4 argument2)
    if(NOT tool_path MATCHES "/Ζίν 工具链/toolchain/.*/${tool}\\.exe$"
       OR NOT option STREQUAL "--plugin"
       OR NOT plugin_path MATCHES "/Ζίν 工具链/toolchain/.*/${PLUGIN}$"
       OR NOT argument1 STREQUAL expected_first OR NOT argument2 STREQUAL "Ω 漢")
        string(APPEND failures "${wrapper}: unexpected tool command:\n${out}\n")
    endif()
endforeach()
if(failures)
    message(FATAL_ERROR "${failures}")
endif()
