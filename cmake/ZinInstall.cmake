# Installation: the three wrappers, the directories they search (created
# empty for the toolchain's own files), the names build systems look for
# next to a compiler, the man pages and the README.
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

# Other names for each wrapper, as relative symbolic links in the same
# directory: build systems look for <target>-<name> and <name>-<major>
# next to a cross compiler. The links are made at install time, below
# DESTDIR and the prefix that install actually uses.
foreach(wrapper IN LISTS zin_wrappers)
    foreach(link IN ITEMS "${ZIN_TARGET_MACHINE}-${wrapper}" "${wrapper}-${ZIN_TOOLCHAIN_MAJOR}")
        install(CODE "
            set(zin_link \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${ZIN_INSTALL_BIN_DIR}/${link}\")
            message(STATUS \"Installing: \${zin_link} -> ${wrapper}\")
            file(REMOVE \"\${zin_link}\")
            file(CREATE_LINK \"${wrapper}\" \"\${zin_link}\" SYMBOLIC)
            list(APPEND CMAKE_INSTALL_MANIFEST_FILES \"\${zin_link}\")
        ")
    endforeach()
endforeach()

# Man pages: one template, three pages. Paths and names that appear in the
# text are escaped for roff, where a plain '-' may print as a hyphen.
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

set(zin_man_pages "")
foreach(wrapper IN LISTS zin_wrappers)
    string(REGEX REPLACE "^zin-" "" tool "${wrapper}")
    zin_roff_escape(ZIN_MAN_NAME "${wrapper}")
    string(TOUPPER "${ZIN_MAN_NAME}" ZIN_MAN_TITLE)
    set(ZIN_MAN_TOOL "${tool}")
    if(tool STREQUAL "ar")
        set(ZIN_MAN_SUMMARY "create and change archives of LTO objects")
        set(ZIN_MAN_ARGS "\\fIkey\\fP [\\fImodifiers\\fP] \\fIarchive\\fP [\\fImember\\fP ...]")
        set(ZIN_MAN_FIRST_ARGUMENT [=[.PP
If the first argument that is passed on does not begin with
.RB \(lq \- \(rq,
.B zin\-ar
puts a
.RB \(lq \- \(rq
in front of it, so that the key letters of
.B ar
always read as options once they follow
.BR \-\-plugin :
.B "zin\-ar rcs libx.a a.o"
runs
.BR "ar \-\-plugin " \fIplugin\fP " \-rcs libx.a a.o" .
This happens after
.B \-B
has been taken out, so
.B "zin\-ar \-B dir rcs libx.a"
also passes
.BR \-rcs .
An empty first argument becomes
.RB \(lq \- \(rq.
No other argument is changed.]=])
        set(ZIN_MAN_EXAMPLE [=[.EX
zin\-ar rcs libcalc.a calc.o scale.o
zin\-ar t libcalc.a
.EE]=])
    elseif(tool STREQUAL "nm")
        set(ZIN_MAN_SUMMARY "list the symbols of LTO objects")
        set(ZIN_MAN_ARGS "[\\fIoption\\fP ...] [\\fIobject\\fP ...]")
        set(ZIN_MAN_FIRST_ARGUMENT [=[.PP
.B zin\-nm
passes every argument other than the first
.B \-B
on unchanged.]=])
        set(ZIN_MAN_EXAMPLE [=[.EX
zin\-nm calc.o
zin\-nm \-s libcalc.a
.EE]=])
    else()
        set(ZIN_MAN_SUMMARY "add a symbol index to an archive of LTO objects")
        set(ZIN_MAN_ARGS "[\\fIoption\\fP ...] \\fIarchive\\fP ...")
        set(ZIN_MAN_FIRST_ARGUMENT [=[.PP
.B zin\-ranlib
passes every argument other than the first
.B \-B
on unchanged.]=])
        set(ZIN_MAN_EXAMPLE [=[.EX
ar rcS libcalc.a calc.o scale.o
zin\-ranlib libcalc.a
.EE]=])
    endif()
    set(ZIN_MAN_SEE_ALSO "")
    foreach(other IN LISTS zin_wrappers)
        if(NOT other STREQUAL wrapper)
            zin_roff_escape(other_name "${other}")
            string(APPEND ZIN_MAN_SEE_ALSO ".BR ${other_name} (1),\n")
        endif()
    endforeach()
    set(page "${PROJECT_BINARY_DIR}/docs/man/${wrapper}.1")
    configure_file("${PROJECT_SOURCE_DIR}/docs/man/zin-wrapper.1.in" "${page}" @ONLY)
    list(APPEND zin_man_pages "${page}")
endforeach()

install(FILES ${zin_man_pages} DESTINATION "${ZIN_INSTALL_MAN1_DIR}")

if(EXISTS "${PROJECT_SOURCE_DIR}/README.md")
    install(FILES "${PROJECT_SOURCE_DIR}/README.md" DESTINATION "${ZIN_INSTALL_DOC_DIR}")
else()
    message(WARNING "README.md is missing; the installation will lack it")
endif()
