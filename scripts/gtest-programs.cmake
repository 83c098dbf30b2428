# SPDX-License-Identifier: Apache-2.0
# Lists the GoogleTest programs behind the cases that ctest selects in a
# build, so that a script can run each program once over its selected cases
# (ctest runs one process per case). Prints one line per program, fields
# separated by tabs: the working directory ctest would use, the program, and
# a --gtest_filter pattern naming exactly the selected cases.
#
#   cmake -DBUILD_DIR=<dir> "-DCTEST_ARGS=<argument>;..." -P scripts/gtest-programs.cmake
#
# CTEST_ARGS are ctest's own selection options (-L, -LE, -E, ...). A
# selected test that is not a GoogleTest case stops the script.
if(NOT BUILD_DIR)
    message(FATAL_ERROR "gtest-programs.cmake: BUILD_DIR is not set")
endif()

execute_process(
    COMMAND ${CMAKE_CTEST_COMMAND} --test-dir ${BUILD_DIR} -N --show-only=json-v1 ${CTEST_ARGS}
    OUTPUT_VARIABLE listing
    ERROR_VARIABLE errors
    RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "gtest-programs.cmake: ctest failed (${status}): ${errors}")
endif()

set(programs "")
string(JSON count LENGTH "${listing}" tests)
if(count GREATER 0)
    math(EXPR last "${count} - 1")
    foreach(index RANGE ${last})
        string(JSON test GET "${listing}" tests ${index})
        string(JSON name GET "${test}" name)
        string(JSON program GET "${test}" command 0)
        string(JSON filter ERROR_VARIABLE missing GET "${test}" command 1)
        if(missing OR NOT filter MATCHES "^--gtest_filter=(.+)$")
            message(FATAL_ERROR "gtest-programs.cmake: ${name} is not a GoogleTest case")
        endif()
        set(filter "${CMAKE_MATCH_1}")
        set(directory "${BUILD_DIR}")
        string(JSON property_count LENGTH "${test}" properties)
        if(property_count GREATER 0)
            math(EXPR last_property "${property_count} - 1")
            foreach(property RANGE ${last_property})
                string(JSON property_name GET "${test}" properties ${property} name)
                if(property_name STREQUAL "WORKING_DIRECTORY")
                    string(JSON directory GET "${test}" properties ${property} value)
                endif()
            endforeach()
        endif()

        string(MAKE_C_IDENTIFIER "${program}" key)
        if(NOT DEFINED filter_${key})
            list(APPEND programs "${program}")
            set(directory_${key} "${directory}")
            set(filter_${key} "${filter}")
        else()
            string(APPEND filter_${key} ":${filter}")
        endif()
    endforeach()
endif()

foreach(program IN LISTS programs)
    string(MAKE_C_IDENTIFIER "${program}" key)
    execute_process(COMMAND ${CMAKE_COMMAND} -E echo
        "${directory_${key}}\t${program}\t${filter_${key}}")
endforeach()
