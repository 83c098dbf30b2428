# Packages, made with `cpack` from the build directory: a Debian package
# that installs below the configured prefix, where the wrappers need no
# relocation, and a .tar.gz of the bare tree (bin/, lib/, ...) that works
# wherever it is unpacked.

set(ZIN_PACKAGE_CONTACT "Zin toolchain maintainers <zin-toolchain@example.org>" CACHE STRING
    "Maintainer named in the packages")

set(CPACK_PACKAGE_NAME "zin-wrappers")
set(CPACK_PACKAGE_VENDOR "Zin toolchain project")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_CONTACT "${ZIN_PACKAGE_CONTACT}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "ar, nm and ranlib wrappers that pass the Zin toolchain's LTO plugin")
set(CPACK_PACKAGE_DESCRIPTION
    "zin-ar, zin-nm and zin-ranlib run the archiver, symbol lister and archive indexer with the toolchain's plugin (${ZIN_PLUGIN_FILE_NAME}) on their command line, so that archives of link-time-optimised objects get a symbol index. They find the plugin and the tools relative to where they are installed.")
set(CPACK_GENERATOR "TGZ;DEB")
# Read by cpack once per generator.
set(CPACK_PROJECT_CONFIG_FILE "${PROJECT_BINARY_DIR}/ZinCPackOptions.cmake")
file(CONFIGURE OUTPUT "${CPACK_PROJECT_CONFIG_FILE}" @ONLY CONTENT [[
if(CPACK_GENERATOR STREQUAL "DEB")
    set(CPACK_PACKAGING_INSTALL_PREFIX "@CMAKE_INSTALL_PREFIX@")
endif()
]])
set(CPACK_STRIP_FILES ON)

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
