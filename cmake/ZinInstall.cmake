# SPDX-License-Identifier: Apache-2.0
# Installation: the three wrappers, the directories they search (created
# empty for the toolchain's own files), the names build systems look for
# next to a compiler, the man pages, the licence (with the notice of the C
# runtime the programs embed: musl's, or MinGW-w64's on Windows) and the README.
#
# The wrappers carry absolute configured directories, but a tree installed
# anywhere else works too: they relocate every directory relative to their
# own location. So the install rules use the same directories made relative
# to CMAKE_INSTALL_PREFIX, and `cmake --install --prefix <elsewhere>` yields
# exactly a relocated tree.

zin_install_relative(ZIN_INSTALL_BIN_DIR ZIN_INSTALL_BIN_PREFIX)
zin_install_relative(zin_exec_base ZIN_INSTALL_EXEC_PREFIX)
zin_install_relative(zin_libexec_base ZIN_INSTALL_LIBEXEC_PREFIX)

# The per-target, per-version directories the wrappers search.
set(ZIN_INSTALL_EXEC_DIR "${zin_exec_base}/${ZIN_TARGET_MACHINE}/${ZIN_TOOLCHAIN_VERSION}")
set(ZIN_INSTALL_LIBEXEC_DIR "${zin_libexec_base}/${ZIN_TARGET_MACHINE}/${ZIN_TOOLCHAIN_VERSION}")

# The target tool directory: where the wrappers' climb from the exec
# directory lands. Computed the same way the wrappers do, so a changed
# climb cannot leave the installed directory and the searched one apart.
cmake_path(SET ZIN_INSTALL_TOOL_DIR NORMALIZE
    "${ZIN_INSTALL_EXEC_DIR}/${ZIN_TOOL_DIR_RELATIVE}${ZIN_TARGET_MACHINE}/bin")
string(REGEX REPLACE "/+$" "" ZIN_INSTALL_TOOL_DIR "${ZIN_INSTALL_TOOL_DIR}")
if(ZIN_INSTALL_TOOL_DIR MATCHES "^\\.\\.(/|$)" OR IS_ABSOLUTE "${ZIN_INSTALL_TOOL_DIR}")
    message(FATAL_ERROR
        "ZIN_TOOL_DIR_RELATIVE '${ZIN_TOOL_DIR_RELATIVE}' climbs from "
        "'${ZIN_INSTALL_EXEC_DIR}' out of the installation root; the target tool "
        "directory must lie below CMAKE_INSTALL_PREFIX.")
endif()

string(REGEX MATCH "^[0-9]+" ZIN_TOOLCHAIN_MAJOR "${ZIN_TOOLCHAIN_VERSION}")
if(ZIN_TOOLCHAIN_MAJOR STREQUAL "")
    message(FATAL_ERROR "ZIN_TOOLCHAIN_VERSION '${ZIN_TOOLCHAIN_VERSION}' does not start with a major number")
endif()

set(ZIN_INSTALL_DOC_DIR "${CMAKE_INSTALL_DATAROOTDIR}/doc/zin-wrappers")
set(ZIN_INSTALL_MAN1_DIR "${CMAKE_INSTALL_MANDIR}/man1")

set(zin_wrappers zin-ar zin-nm zin-ranlib)

# Installing and packaging take what has been built, as `cmake --install`
# always does: `make install` and cpack do not start a build of everything
# (which, run from a test, would rebuild programs other tests are running).
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

install(TARGETS ${zin_wrappers} RUNTIME DESTINATION "${ZIN_INSTALL_BIN_DIR}")

# Empty until the toolchain's own plugin and tools are put there.
install(DIRECTORY DESTINATION "${ZIN_INSTALL_EXEC_DIR}")
install(DIRECTORY DESTINATION "${ZIN_INSTALL_LIBEXEC_DIR}")
install(DIRECTORY DESTINATION "${ZIN_INSTALL_TOOL_DIR}")

# Windows has no man pages, and a ZIP no symbolic links: the programs and
# the directories alone.
if(NOT WIN32)
    include(ZinManPages)
endif()

# zin_install_link(<dir> <link> <target>): a relative symbolic link
# <dir>/<link> -> <target>, made at install time below DESTDIR and the prefix
# that install actually uses.
function(zin_install_link dir link target)
    install(CODE "
        set(zin_link \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${dir}/${link}\")
        message(STATUS \"Installing: \${zin_link} -> ${target}\")
        file(REMOVE \"\${zin_link}\")
        file(CREATE_LINK \"${target}\" \"\${zin_link}\" SYMBOLIC)
        list(APPEND CMAKE_INSTALL_MANIFEST_FILES \"\${zin_link}\")
    ")
endfunction()

# Other names for each wrapper, each with its man page: build systems look
# for <target>-<name> and <name>-<major> next to a cross compiler.
if(NOT WIN32)
    foreach(wrapper IN LISTS zin_wrappers)
        foreach(link IN ITEMS "${ZIN_TARGET_MACHINE}-${wrapper}" "${wrapper}-${ZIN_TOOLCHAIN_MAJOR}")
            zin_install_link("${ZIN_INSTALL_BIN_DIR}" "${link}" "${wrapper}")
            zin_install_link("${ZIN_INSTALL_MAN1_DIR}" "${link}.1.gz" "${wrapper}.1.gz")
        endforeach()
    endforeach()
endif()

# The licence goes with every copy of the programs. The .deb leaves this
# component out: its copyright file names the licence, whose text every
# Debian system has (ZinPackaging.cmake).
install(FILES "${PROJECT_SOURCE_DIR}/LICENSE" DESTINATION "${ZIN_INSTALL_DOC_DIR}"
    COMPONENT licence)

# Programs linked with musl carry musl itself, so its licence notice goes with
# them too, beside the project's: the copyright file of musl's Debian package
# unless told otherwise. The .deb puts it into its copyright file instead.
if(ZIN_LINK STREQUAL "musl-static")
    find_file(ZIN_C_LIBRARY_NOTICE copyright
        PATHS /usr/share/doc/musl-dev /usr/share/doc/musl
        NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH
        DOC "Licence notice of musl, installed as COPYRIGHT.musl beside LICENSE")
    if(NOT ZIN_C_LIBRARY_NOTICE)
        message(FATAL_ERROR "ZIN_LINK=musl-static puts musl into the programs, and its licence "
            "notice must go with them: there is none in /usr/share/doc/musl-dev/ or "
            "/usr/share/doc/musl/. Set ZIN_C_LIBRARY_NOTICE to musl's COPYRIGHT file.")
    endif()
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${ZIN_C_LIBRARY_NOTICE}")
    install(FILES "${ZIN_C_LIBRARY_NOTICE}" DESTINATION "${ZIN_INSTALL_DOC_DIR}"
        RENAME COPYRIGHT.musl COMPONENT licence)
elseif(MINGW)
    # Windows programs carry MinGW-w64's start-up code and parts of its C
    # library (libmingw32, libmingwex with gdtoa), whose licences (ZPL 2.1,
    # Lucent's) ask for their notice with every binary: the copyright file of
    # MinGW-w64's Debian package unless told otherwise. The GCC parts (libgcc,
    # crtbegin/crtend) come under the GCC Runtime Library Exception, which
    # asks for none.
    find_file(ZIN_C_LIBRARY_NOTICE copyright
        PATHS /usr/share/doc/mingw-w64-x86-64-dev /usr/share/doc/mingw-w64-common
        NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH
        DOC "Licence notice of the MinGW-w64 runtime, installed as COPYRIGHT.mingw-w64 beside LICENSE")
    if(NOT ZIN_C_LIBRARY_NOTICE)
        message(FATAL_ERROR "The Windows programs embed parts of the MinGW-w64 runtime, and its "
            "licence notice must go with them: there is none in "
            "/usr/share/doc/mingw-w64-x86-64-dev/ or /usr/share/doc/mingw-w64-common/. Set "
            "ZIN_C_LIBRARY_NOTICE to MinGW-w64's copyright file.")
    endif()
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${ZIN_C_LIBRARY_NOTICE}")
    install(FILES "${ZIN_C_LIBRARY_NOTICE}" DESTINATION "${ZIN_INSTALL_DOC_DIR}"
        RENAME COPYRIGHT.mingw-w64 COMPONENT licence)
endif()
if(EXISTS "${PROJECT_SOURCE_DIR}/README.md")
    install(FILES "${PROJECT_SOURCE_DIR}/README.md" DESTINATION "${ZIN_INSTALL_DOC_DIR}")
else()
    message(WARNING "README.md is missing; the installation will lack it")
endif()
