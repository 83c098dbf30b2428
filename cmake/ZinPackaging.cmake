# SPDX-License-Identifier: Apache-2.0
# Packages, made with `cpack` from the build directory:
#
# - a .tar.gz of the bare tree (bin/, lib/, ...) that works wherever it is
#   unpacked, from any build;
# - a Debian package, from a package build only: one configured with
#   CMAKE_INSTALL_PREFIX=/usr (preset `package`). The package installs below
#   /usr, and the wrappers of such a build look for their directories there,
#   so a packaged wrapper needs no relocation and its man pages name the
#   directories it searches. Debian's own files come from packaging/.

set(ZIN_PACKAGE_CONTACT "Zin toolchain maintainers <zin-toolchain@example.org>" CACHE STRING
    "Maintainer named in the packages")

set(CPACK_PACKAGE_NAME "zin-wrappers")
set(CPACK_PACKAGE_VENDOR "Zin toolchain project")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_CONTACT "${ZIN_PACKAGE_CONTACT}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "ar, nm and ranlib wrappers that pass the Zin toolchain's LTO plugin")
# Lines under 80 columns, paragraphs apart, as Debian's Description wants.
set(CPACK_PACKAGE_DESCRIPTION "\
zin-ar, zin-nm and zin-ranlib run the archiver, the symbol lister and the
archive indexer with the toolchain's plugin, ${ZIN_PLUGIN_FILE_NAME}, on their
command line, so that archives of link-time-optimised objects get a symbol
index and the symbols of such objects can be listed.

The wrappers find the plugin and the tools relative to where they are
installed. Build systems also find them under the names that they look for
next to a cross compiler: ${ZIN_TARGET_MACHINE}-zin-ar and zin-ar-${ZIN_TOOLCHAIN_MAJOR}.")

# For Windows a ZIP of the tree: unpacked anywhere, the wrappers relocate.
if(WIN32)
    set(CPACK_GENERATOR "ZIP")
    set(CPACK_STRIP_FILES ON)
    include(CPack)
    return()
endif()

string(REGEX REPLACE "/+$" "" zin_package_prefix "${CMAKE_INSTALL_PREFIX}")
if(zin_package_prefix STREQUAL "/usr")
    set(CPACK_GENERATOR "TGZ;DEB")
else()
    set(CPACK_GENERATOR "TGZ")
endif()
set(CPACK_STRIP_FILES ON)

# Debian's files, in the .deb alone: the copyright file, the changelog and
# the lintian overrides. The changelog's latest entry must be this release.
file(STRINGS "${PROJECT_SOURCE_DIR}/packaging/changelog" zin_changelog_head LIMIT_COUNT 1)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
    "${PROJECT_SOURCE_DIR}/packaging/changelog")
string(FIND "${zin_changelog_head}" "${CPACK_PACKAGE_NAME} (${PROJECT_VERSION}) " zin_entry_at)
if(NOT zin_entry_at EQUAL 0)
    message(FATAL_ERROR "packaging/changelog begins with '${zin_changelog_head}', not with an "
        "entry for ${CPACK_PACKAGE_NAME} ${PROJECT_VERSION}: add one for this release.")
endif()
set(zin_debian_dir "${PROJECT_BINARY_DIR}/packaging")
file(MAKE_DIRECTORY "${zin_debian_dir}")
execute_process(COMMAND "${ZIN_GZIP_PROGRAM}" -9n -c "${PROJECT_SOURCE_DIR}/packaging/changelog"
    OUTPUT_FILE "${zin_debian_dir}/changelog.gz" COMMAND_ERROR_IS_FATAL ANY)
configure_file("${PROJECT_SOURCE_DIR}/packaging/lintian-overrides.in"
    "${zin_debian_dir}/${CPACK_PACKAGE_NAME}" @ONLY)
install(FILES "${PROJECT_SOURCE_DIR}/packaging/copyright" "${zin_debian_dir}/changelog.gz"
    DESTINATION "${ZIN_INSTALL_DOC_DIR}" COMPONENT debian EXCLUDE_FROM_ALL)
install(FILES "${zin_debian_dir}/${CPACK_PACKAGE_NAME}"
    DESTINATION "${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides" COMPONENT debian EXCLUDE_FROM_ALL)

# Read by cpack once per generator: the .deb takes the programs and Debian's
# files, and only from a package build.
set(CPACK_PROJECT_CONFIG_FILE "${PROJECT_BINARY_DIR}/ZinCPackOptions.cmake")
file(CONFIGURE OUTPUT "${CPACK_PROJECT_CONFIG_FILE}" @ONLY CONTENT [[
if(CPACK_GENERATOR STREQUAL "DEB")
    if(NOT "@zin_package_prefix@" STREQUAL "/usr")
        message(FATAL_ERROR "A .deb installs below /usr, and this build is configured for "
            "'@CMAKE_INSTALL_PREFIX@': make it from a package build "
            "(cmake --preset package, or -DCMAKE_INSTALL_PREFIX=/usr).")
    endif()
    set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
    set(CPACK_INSTALL_CMAKE_PROJECTS
        "@PROJECT_BINARY_DIR@;@PROJECT_NAME@;Unspecified;/"
        "@PROJECT_BINARY_DIR@;@PROJECT_NAME@;debian;/")
endif()
]])

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "devel")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
if(CMAKE_CROSSCOMPILING)
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE arm64)
endif()
# Depends follows the link choice (ZIN_LINK, cmake/ZinLink.cmake): static
# programs, on musl or on the system C library, need no package at run
# time; dynamic ones need libc alone, which dpkg-shlibdeps works out with
# its version, except in a cross build, where it cannot read the target's
# programs.
if(NOT ZIN_LINK STREQUAL "dynamic")
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS OFF)
elseif(CMAKE_CROSSCOMPILING)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS OFF)
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6")
else()
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "binutils")

include(CPack)
