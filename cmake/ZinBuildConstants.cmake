# SPDX-License-Identifier: Apache-2.0
# Build constants shared by the three wrappers. A packager overrides them
# with -D on the cmake command line; the defaults follow CMAKE_INSTALL_PREFIX.

# The prefix without a trailing '/', so that "/" gives "/bin/" and not "//bin/".
string(REGEX REPLACE "/+$" "" zin_install_root "${CMAKE_INSTALL_PREFIX}")

set(ZIN_TARGET_MACHINE "aarch64-kelvane-freebsd14.4" CACHE STRING
    "Target machine triplet the toolchain produces code for")
set(ZIN_TOOLCHAIN_VERSION "13.4.1" CACHE STRING "Toolchain version")
set(ZIN_TOOLCHAIN_DIR_NAME "zin13" CACHE STRING
    "Versioned directory below lib/ and libexec/")
set(ZIN_INSTALL_BIN_PREFIX "${zin_install_root}/bin/" CACHE STRING
    "Directory the wrappers are installed in (ends in /)")
set(ZIN_INSTALL_EXEC_PREFIX "${zin_install_root}/lib/${ZIN_TOOLCHAIN_DIR_NAME}/zin/" CACHE STRING
    "Toolchain library directory (ends in /)")
set(ZIN_INSTALL_LIBEXEC_PREFIX "${zin_install_root}/libexec/${ZIN_TOOLCHAIN_DIR_NAME}/zin/" CACHE STRING
    "Toolchain libexec directory (ends in /)")
set(ZIN_TOOL_DIR_RELATIVE "../../../../../" CACHE STRING
    "Climb from <exec prefix>/<target>/<version>/ back to the installation root")
# A plugin is a shared library of the host the tools run on.
if(WIN32)
    set(zin_plugin_default "libqor_plugin.dll")
else()
    set(zin_plugin_default "libqor_plugin.so")
endif()
set(ZIN_PLUGIN_FILE_NAME "${zin_plugin_default}" CACHE STRING "Plugin file handed to the tools")

foreach(dir ZIN_INSTALL_BIN_PREFIX ZIN_INSTALL_EXEC_PREFIX ZIN_INSTALL_LIBEXEC_PREFIX ZIN_TOOL_DIR_RELATIVE)
    if(NOT "${${dir}}" MATCHES "/$")
        message(FATAL_ERROR "${dir} must end in '/': ${${dir}}")
    endif()
endforeach()

# zin_install_relative(<out_var> <cache_name>): sets <out_var> to the
# directory held by <cache_name> relative to CMAKE_INSTALL_PREFIX, without a
# trailing '/'; stops configuration when that directory is not below the
# prefix (the prefix itself included).
function(zin_install_relative out_var cache_name)
    set(dir "${${cache_name}}")
    string(REGEX REPLACE "/+$" "" prefix "${CMAKE_INSTALL_PREFIX}")
    cmake_path(SET prefix NORMALIZE "${prefix}/")
    cmake_path(SET normal NORMALIZE "${dir}")
    string(LENGTH "${prefix}" prefix_length)
    string(SUBSTRING "${normal}" 0 ${prefix_length} head)
    if(NOT head STREQUAL prefix OR normal STREQUAL prefix)
        message(FATAL_ERROR
            "${cache_name} is '${dir}', which is not a directory below "
            "CMAKE_INSTALL_PREFIX '${CMAKE_INSTALL_PREFIX}'. The wrappers find "
            "their toolchain relative to the installation root, so all their "
            "directories must lie below it: set ${cache_name} to a directory "
            "under '${prefix}' (or clear it from the cache to get the default).")
    endif()
    string(SUBSTRING "${normal}" ${prefix_length} -1 relative)
    string(REGEX REPLACE "/+$" "" relative "${relative}")
    set(${out_var} "${relative}" PARENT_SCOPE)
endfunction()
