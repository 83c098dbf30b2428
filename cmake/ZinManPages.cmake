# SPDX-License-Identifier: Apache-2.0
# Man pages: one page template, docs/man/zin-wrapper.1.in, and for each
# wrapper the roff fragments of what is its own (how it passes its arguments
# on, its examples), beside the template. Included by ZinInstall.cmake, whose
# directories and names the pages describe.
#
# Template and fragments are filled in with @VARIABLE@ values; the leading
# roff comments of a fragment stay out of the page. Pages are installed
# compressed with gzip -9n, which leaves the name and time out of the header,
# so that the same page always gives the same bytes.

find_program(ZIN_GZIP_PROGRAM gzip REQUIRED)

# Paths and names that appear in the text are escaped for roff, where a plain
# '-' may print as a hyphen.
function(zin_roff_escape out_var text)
    string(REPLACE "\\" "\\e" text "${text}")
    string(REPLACE "-" "\\-" text "${text}")
    set(${out_var} "${text}" PARENT_SCOPE)
endfunction()

cmake_path(SET zin_man_tool_dir NORMALIZE
    "${ZIN_INSTALL_EXEC_PREFIX}${ZIN_TARGET_MACHINE}/${ZIN_TOOLCHAIN_VERSION}/${ZIN_TOOL_DIR_RELATIVE}${ZIN_TARGET_MACHINE}/bin/")
zin_roff_escape(ZIN_MAN_TARGET "${ZIN_TARGET_MACHINE}")
zin_roff_escape(ZIN_MAN_VERSION "${ZIN_TOOLCHAIN_VERSION}")
zin_roff_escape(ZIN_MAN_MAJOR "${ZIN_TOOLCHAIN_MAJOR}")
zin_roff_escape(ZIN_MAN_BIN_PREFIX "${ZIN_INSTALL_BIN_PREFIX}")
zin_roff_escape(ZIN_MAN_EXEC_PREFIX "${ZIN_INSTALL_EXEC_PREFIX}")
zin_roff_escape(ZIN_MAN_LIBEXEC_PREFIX "${ZIN_INSTALL_LIBEXEC_PREFIX}")
zin_roff_escape(ZIN_MAN_TOOL_DIR_RELATIVE "${ZIN_TOOL_DIR_RELATIVE}")
zin_roff_escape(ZIN_MAN_TOOL_DIR "${zin_man_tool_dir}")
zin_roff_escape(ZIN_MAN_PLUGIN "${ZIN_PLUGIN_FILE_NAME}")
zin_roff_escape(ZIN_MAN_PACKAGE_VERSION "${PROJECT_VERSION}")
# The directories as a moved wrapper computes them from its own directory.
file(RELATIVE_PATH zin_exec_from_bin "${ZIN_INSTALL_BIN_PREFIX}" "${ZIN_INSTALL_EXEC_PREFIX}")
file(RELATIVE_PATH zin_libexec_from_bin "${ZIN_INSTALL_BIN_PREFIX}" "${ZIN_INSTALL_LIBEXEC_PREFIX}")
zin_roff_escape(ZIN_MAN_EXEC_FROM_BIN "${zin_exec_from_bin}/")
zin_roff_escape(ZIN_MAN_LIBEXEC_FROM_BIN "${zin_libexec_from_bin}/")

# zin_man_fragment(<out_var> <fragment>): <out_var> is docs/man/<fragment>
# filled in, without its leading comment lines and its final newline.
function(zin_man_fragment out_var fragment)
    set(file "${PROJECT_SOURCE_DIR}/docs/man/${fragment}")
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${file}")
    file(READ "${file}" text)
    string(REGEX REPLACE "^(\\.\\\\\"[^\n]*\n)+" "" text "${text}")
    string(REGEX REPLACE "\n$" "" text "${text}")
    string(CONFIGURE "${text}" text @ONLY)
    set(${out_var} "${text}" PARENT_SCOPE)
endfunction()

# zin_man_page(<wrapper> SUMMARY <text> ARGUMENTS <roff> PASSING <fragment>
#              EXAMPLES <fragment>)
# Makes <wrapper>.1.gz and installs it. SUMMARY follows the name in NAME,
# ARGUMENTS follow -B in SYNOPSIS; the PASSING fragment says how the arguments
# reach the tool, the EXAMPLES fragment is the section of that name.
function(zin_man_page wrapper)
    cmake_parse_arguments(PARSE_ARGV 1 ARG "" "SUMMARY;ARGUMENTS;PASSING;EXAMPLES" "")
    string(REGEX REPLACE "^zin-" "" ZIN_MAN_TOOL "${wrapper}")
    zin_roff_escape(ZIN_MAN_NAME "${wrapper}")
    string(TOUPPER "${ZIN_MAN_NAME}" ZIN_MAN_TITLE)
    set(ZIN_MAN_SUMMARY "${ARG_SUMMARY}")
    set(ZIN_MAN_ARGS "${ARG_ARGUMENTS}")
    zin_man_fragment(ZIN_MAN_FIRST_ARGUMENT "${ARG_PASSING}")
    zin_man_fragment(ZIN_MAN_EXAMPLE "${ARG_EXAMPLES}")
    set(ZIN_MAN_SEE_ALSO "")
    foreach(other IN LISTS zin_wrappers)
        if(NOT other STREQUAL wrapper)
            zin_roff_escape(other_name "${other}")
            string(APPEND ZIN_MAN_SEE_ALSO ".BR ${other_name} (1),\n")
        endif()
    endforeach()

    set(page "${PROJECT_BINARY_DIR}/docs/man/${wrapper}.1")
    configure_file("${PROJECT_SOURCE_DIR}/docs/man/zin-wrapper.1.in" "${page}" @ONLY)
    execute_process(COMMAND "${ZIN_GZIP_PROGRAM}" -9n -c "${page}"
        OUTPUT_FILE "${page}.gz" COMMAND_ERROR_IS_FATAL ANY)
    install(FILES "${page}.gz" DESTINATION "${ZIN_INSTALL_MAN1_DIR}")
endfunction()

zin_man_page(zin-ar
    SUMMARY "create and change archives of LTO objects"
    ARGUMENTS [=[\fIkey\fP [\fImodifiers\fP] \fIarchive\fP [\fImember\fP ...]]=]
    PASSING arguments-dash-first.roff.in
    EXAMPLES examples-zin-ar.roff.in)
zin_man_page(zin-nm
    SUMMARY "list the symbols of LTO objects"
    ARGUMENTS [=[[\fIoption\fP ...] [\fIobject\fP ...]]=]
    PASSING arguments-unchanged.roff.in
    EXAMPLES examples-zin-nm.roff.in)
zin_man_page(zin-ranlib
    SUMMARY "add a symbol index to an archive of LTO objects"
    ARGUMENTS [=[[\fIoption\fP ...] \fIarchive\fP ...]=]
    PASSING arguments-unchanged.roff.in
    EXAMPLES examples-zin-ranlib.roff.in)
