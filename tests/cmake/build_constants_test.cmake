# SPDX-License-Identifier: Apache-2.0
# The checks of the installation directories in cmake/ZinBuildConstants.cmake,
# one row each: a directory below the installation prefix gives its path
# relative to the prefix (zin_install_relative); any other directory, or
# one without its final '/', stops configuration with a message naming the
# variable and both paths. Each row runs the module in a `cmake -P` of its
# own, since a refusal ends the process.
#   cmake -P tests/cmake/build_constants_test.cmake

cmake_minimum_required(VERSION 3.25)
set(module ${CMAKE_CURRENT_LIST_DIR}/../../cmake/ZinBuildConstants.cmake)

if(DEFINED ROW_VARIABLE)
    # One row: the prefix and the variable come with -D, as from a packager.
    include(${module})
    zin_install_relative(relative ${ROW_VARIABLE})
    message("relative: '${relative}'")
    return()
endif()

# prefix | variable | directory | 'relative' expected, or a fragment of the
# refusal (each run of blanks and line ends in the message counts as one blank)
set(rows
    "/opt/zin|ZIN_INSTALL_BIN_PREFIX|/opt/zin/bin/|relative: 'bin'"
    "/opt/zin|ZIN_INSTALL_EXEC_PREFIX|/opt/zin/lib/zin13/zin/|relative: 'lib/zin13/zin'"
    "/opt/zin/|ZIN_INSTALL_LIBEXEC_PREFIX|/opt/zin/libexec/zin13/zin/|relative: 'libexec/zin13/zin'"
    "/opt/zin|ZIN_INSTALL_LIBEXEC_PREFIX|/opt/zin/./libexec//zin/../zin/|relative: 'libexec/zin'"
    "/|ZIN_INSTALL_BIN_PREFIX|/bin/|relative: 'bin'"
    "/opt/zin|ZIN_INSTALL_LIBEXEC_PREFIX|/usr/libexec/zin13/zin/|ZIN_INSTALL_LIBEXEC_PREFIX is '/usr/libexec/zin13/zin/', which is not a directory below CMAKE_INSTALL_PREFIX '/opt/zin'"
    "/opt/zin|ZIN_INSTALL_BIN_PREFIX|/opt/zin/|ZIN_INSTALL_BIN_PREFIX is '/opt/zin/', which is not a directory below CMAKE_INSTALL_PREFIX '/opt/zin'"
    "/opt/zin|ZIN_INSTALL_BIN_PREFIX|/opt/zinc/bin/|ZIN_INSTALL_BIN_PREFIX is '/opt/zinc/bin/', which is not a directory below CMAKE_INSTALL_PREFIX '/opt/zin'"
    "/opt/zin|ZIN_INSTALL_EXEC_PREFIX|/opt/zin/../lib/|ZIN_INSTALL_EXEC_PREFIX is '/opt/zin/../lib/', which is not a directory below CMAKE_INSTALL_PREFIX '/opt/zin'"
    "/|ZIN_INSTALL_BIN_PREFIX|/|ZIN_INSTALL_BIN_PREFIX is '/', which is not a directory below CMAKE_INSTALL_PREFIX '/'"
    "/opt/zin|ZIN_INSTALL_BIN_PREFIX|/opt/zin/bin|ZIN_INSTALL_BIN_PREFIX must end in '/': /opt/zin/bin")

set(failures "")
foreach(row IN LISTS rows)
    string(REPLACE "|" ";" fields "${row}")
    list(GET fields 0 prefix)
    list(GET fields 1 variable)
    list(GET fields 2 directory)
    list(GET fields 3 expected)
    execute_process(
        COMMAND ${CMAKE_COMMAND} -DCMAKE_INSTALL_PREFIX=${prefix} -D${variable}=${directory}
                -DROW_VARIABLE=${variable} -P ${CMAKE_CURRENT_LIST_FILE}
        RESULT_VARIABLE status
        ERROR_VARIABLE said)
    string(REGEX REPLACE "[ \n]+" " " said "${said}")
    string(STRIP "${said}" said)
    string(FIND "${said}" "${expected}" found)
    # An accepted directory says exactly its relative path; a refusal fails,
    # its message holding the fragment.
    if((expected MATCHES "^relative: " AND status EQUAL 0 AND said STREQUAL expected) OR
       (NOT expected MATCHES "^relative: " AND NOT status EQUAL 0 AND found GREATER -1))
        message(STATUS "ok: ${variable}=${directory} with prefix ${prefix}")
    else()
        string(APPEND failures "\n${variable}=${directory} with prefix ${prefix}:\n"
                               "  expected: ${expected}\n  status ${status}, said: ${said}")
    endif()
endforeach()
if(failures)
    message(FATAL_ERROR "rows failed:${failures}")
endif()
