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

# Static programs embed their C library. Debian asks such a package to name
# the library's source package and version in Built-Using: here the package
# that owns the libc.a the programs were linked with, as dpkg knows it.
# Nothing for dynamic programs, nor where no .deb is made.
set(zin_built_using "")
set(zin_libc_archive "")
if(ZIN_LINK STREQUAL "musl-static")
    set(zin_libc_archive "${ZIN_MUSL_LIBRARY_DIR}/libc.a")
elseif(ZIN_LINK STREQUAL "static")
    execute_process(COMMAND ${CMAKE_C_COMPILER} -print-file-name=libc.a
        OUTPUT_VARIABLE zin_libc_archive OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
endif()
if(zin_libc_archive AND "DEB" IN_LIST CPACK_GENERATOR)
    find_program(ZIN_DPKG_QUERY_PROGRAM dpkg-query REQUIRED)
    set(zin_libc_owner "")
    if(EXISTS "${zin_libc_archive}")
        file(REAL_PATH "${zin_libc_archive}" zin_libc_archive)
        execute_process(COMMAND "${ZIN_DPKG_QUERY_PROGRAM}" -S "${zin_libc_archive}"
            OUTPUT_VARIABLE zin_libc_owner ERROR_QUIET)
    endif()
    # "musl-dev:amd64: /usr/lib/x86_64-linux-musl/libc.a"
    if(zin_libc_owner MATCHES "^([^:, \n]+(:[^:, \n]+)?): ")
        execute_process(COMMAND "${ZIN_DPKG_QUERY_PROGRAM}" -W
            "-f=\${source:Package} (= \${source:Version})" "${CMAKE_MATCH_1}"
            OUTPUT_VARIABLE zin_built_using ERROR_QUIET)
    endif()
    if(zin_built_using STREQUAL "")
        message(WARNING "No Debian package owns ${zin_libc_archive}, which the programs are "
            "linked with (ZIN_LINK=${ZIN_LINK}): the .deb will lack Built-Using.")
    endif()
endif()

# CPack has no Built-Using field: the .deb it made is rebuilt by dpkg-deb
# with the field added to its control file, everything else as it was.
set(zin_deb_post_build "")
if(NOT zin_built_using STREQUAL "")
    find_program(ZIN_DPKG_DEB_PROGRAM dpkg-deb REQUIRED)
    set(zin_deb_post_build "${PROJECT_BINARY_DIR}/ZinDebBuiltUsing.cmake")
    file(CONFIGURE OUTPUT "${zin_deb_post_build}" @ONLY CONTENT [[
foreach(deb IN LISTS CPACK_PACKAGE_FILES)
    if(NOT deb MATCHES "\\.deb$")
        continue()
    endif()
    set(tree "${deb}.tree")
    file(REMOVE_RECURSE "${tree}")
    execute_process(COMMAND "@ZIN_DPKG_DEB_PROGRAM@" --raw-extract "${deb}" "${tree}"
        COMMAND_ERROR_IS_FATAL ANY)
    file(READ "${tree}/DEBIAN/control" control)
    string(REPLACE "\nDescription: " "\nBuilt-Using: @zin_built_using@\nDescription: " control
        "${control}")
    file(WRITE "${tree}/DEBIAN/control" "${control}")
    execute_process(COMMAND "@ZIN_DPKG_DEB_PROGRAM@" --root-owner-group -Zgzip --build "${tree}"
        "${deb}" OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
    file(REMOVE_RECURSE "${tree}")
endforeach()
]])
endif()

# The .deb's copyright file: the project's, and for programs that embed musl
# also musl's notice. A notice in Debian's machine-readable form keeps its
# paragraphs but not its header, and its file patterns, which name files of
# musl's own source, are put below musl/ so that they cannot claim the
# project's; any other notice becomes the licence text of one paragraph for
# musl/.
file(READ "${PROJECT_SOURCE_DIR}/packaging/copyright" zin_copyright)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
    "${PROJECT_SOURCE_DIR}/packaging/copyright")
if(ZIN_LINK STREQUAL "musl-static")
    file(READ "${ZIN_C_LIBRARY_NOTICE}" zin_notice)
    set(zin_embedded "")
    if(zin_notice MATCHES "^Format: ")
        string(FIND "${zin_notice}" "\n\n" zin_at)
        string(SUBSTRING "${zin_notice}" ${zin_at} -1 zin_notice)
        string(STRIP "${zin_notice}" zin_notice)
        while(zin_notice MATCHES "(^|\n)(Files:([^\n]*(\n[ \t][^\n]*)*))")
            set(zin_field "${CMAKE_MATCH_0}")
            set(zin_line_start "${CMAKE_MATCH_1}")
            set(zin_patterns "${CMAKE_MATCH_3}")
            string(FIND "${zin_notice}" "${zin_field}" zin_at)
            string(SUBSTRING "${zin_notice}" 0 ${zin_at} zin_before)
            string(LENGTH "${zin_field}" zin_length)
            math(EXPR zin_at "${zin_at} + ${zin_length}")
            string(SUBSTRING "${zin_notice}" ${zin_at} -1 zin_notice)
            string(REGEX REPLACE "([ \t\n]+)([^ \t\n]+)" "\\1musl/\\2" zin_patterns
                "${zin_patterns}")
            string(APPEND zin_embedded "${zin_before}${zin_line_start}Files:${zin_patterns}")
        endwhile()
        string(APPEND zin_embedded "${zin_notice}\n")
    else()
        string(STRIP "${zin_notice}" zin_notice)
        string(REPLACE "\n" "\n " zin_notice " ${zin_notice}")
        string(REGEX REPLACE "\n [ \t]*(\n|$)" "\n .\\1" zin_notice "${zin_notice}")
        string(REGEX REPLACE "\n [ \t]*(\n|$)" "\n .\\1" zin_notice "${zin_notice}")
        string(APPEND zin_embedded "Files: musl/*\n"
            "Copyright: the holders that the licence text names\n"
            "License: musl\n${zin_notice}\n")
    endif()
    set(zin_built_by "")
    if(NOT zin_built_using STREQUAL "")
        set(zin_built_by ", named\n in Built-Using as ${zin_built_using}")
    endif()
    # The header paragraph comes first, and this comment closes it.
    string(FIND "${zin_copyright}" "\n\n" zin_at)
    string(SUBSTRING "${zin_copyright}" 0 ${zin_at} zin_header)
    string(SUBSTRING "${zin_copyright}" ${zin_at} -1 zin_rest)
    string(STRIP "${zin_rest}" zin_rest)
    set(zin_copyright "${zin_header}
Comment: The programs embed the C library musl, linked statically${zin_built_by}.
 The paragraphs for musl/ are musl's own notice, with its file patterns
 put below musl/.

${zin_rest}

${zin_embedded}")
endif()
file(WRITE "${zin_debian_dir}/copyright.new" "${zin_copyright}")
configure_file("${zin_debian_dir}/copyright.new" "${zin_debian_dir}/copyright" COPYONLY)

install(FILES "${zin_debian_dir}/copyright" "${zin_debian_dir}/changelog.gz"
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
    set(CPACK_POST_BUILD_SCRIPTS "@zin_deb_post_build@")
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
