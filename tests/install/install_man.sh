#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# The installed man pages: free of formatter warnings, and each tells its own
# wrapper's story: name, synopsis, -B, the search order with the configured
# directories, the environment, the exit status, every diagnostic word for
# word, and the wrapped tool's own manual.
set -eu
. "$(dirname "$0")/lib.sh"
command -v groff >/dev/null 2>&1 || skip "groff is not installed"
make_scratch
prefix=$scratch/prefix
install_tree "$prefix"

for wrapper in zin-ar zin-nm zin-ranlib; do
    tool=${wrapper#zin-}
    out=$scratch/$wrapper
    echo "=== $prefix/$ZT_MAN_DIR/$wrapper.1.gz"
    run_to "$out.1" gzip -dc "$prefix/$ZT_MAN_DIR/$wrapper.1.gz"
    page=$out.1
    [ -s "$page" ] || fail "$page is empty"
    check_not_contains "$page" "@ZIN_"

    echo "--- no warnings from the formatters"
    run_to "$out.groff" groff -ww -man -z "$page"
    check_empty "$out.groff.err"
    if command -v man >/dev/null 2>&1; then
        for width in 80 65; do
            run_to "$out.man" env MANWIDTH=$width man --warnings -l "$page"
            check_empty "$out.man.err"
        done
    fi

    # Plain text on one line, without hyphenation, in single spaces.
    run_to "$out.txt" groff -man -Tascii -rHY=0 -rLL=2000n -P-cbou "$page"
    tr '\n' ' ' <"$out.txt" | sed 's/  */ /g' >"$out.text"

    echo "--- name, synopsis, option"
    check_contains "$out.text" "$wrapper - "
    check_contains "$out.text" "$wrapper [-B prefix]"
    check_contains "$out.text" "-B prefix, -Bprefix"
    check_contains "$out.text" "Only the first argument that begins with -B is taken"
    check_contains "$out.text" "-Bx looks for x$ZT_PLUGIN and x$tool"
    check_contains "$out.text" "$wrapper runs $tool(1) with the plugin"

    echo "--- search order, with the configured directories"
    check_contains "$out.text" "$ZT_EXEC_PREFIX and $ZT_LIBEXEC_PREFIX"
    check_contains "$out.text" "as long as the wrapper runs from $ZT_BIN_PREFIX"
    check_contains "$out.text" "$ZT_INSTALL_PREFIX/$ZT_TARGET/bin/"
    check_contains "$out.text" "libexec/$ZT_TARGET/$ZT_VERSION/"
    check_contains "$out.text" "It is never looked for in PATH."
    check_contains "$out.text" "installed as $ZT_TARGET-$wrapper and as $wrapper-$major"

    echo "--- environment and exit status"
    for variable in "ZIN_EXEC_PREFIX" "PATH Searched for the tool" "TMPDIR, TMP, TEMP" \
        "ZIN_SEARCH_TRACE Set to a non-empty value"; do
        check_contains "$out.text" "$variable"
    done
    check_contains "$out.text" "Convert string 'string' into prefixes, separator = ':'"
    check_contains "$out.text" "- add prefix: prefix"
    check_contains "$out.text" "Looking for 'name'"
    check_contains "$out.text" "- found: absolute path"
    check_contains "$out.text" "- failed to locate using absolute path"
    check_contains "$out.text" "- failed: no entries in prefix list"
    check_contains "$out.text" "The exit status of the tool, 0 included."

    echo "--- every diagnostic"
    check_contains "$out.text" "Usage: zin-ar [-B prefix] ar arguments ..."
    check_contains "$out.text" "program: Cannot find plugin '$ZT_PLUGIN'"
    check_contains "$out.text" "program: Cannot find binary '$tool'"
    check_contains "$out.text" "program: '$tool' leads back to a wrapper: stopped after 8 nested runs"
    check_contains "$out.text" "program: installation directory name too long: directory"
    check_contains "$out.text" "Error running tool: step"
    check_contains "$out.text" "tool terminated with signal number [description]"
    check_contains "$out.text" "the line ends in \", core dumped\""
    check_contains "$out.text" "zin-tool: error trying to exec 'tool': step: error"
    check_contains "$out.text" "out of memory allocating size bytes"

    echo "--- the wrapped tool's manual, and only this wrapper's text"
    check_contains "$out.text" "SEE ALSO $tool(1),"
    for other in ar nm ranlib; do
        [ "$other" = "$tool" ] && continue
        check_not_contains "$out.text" " $other(1)"
        check_not_contains "$out.text" "Cannot find binary '$other'"
    done
    if [ "$wrapper" = zin-ar ]; then
        check_contains "$out.text" "zin-ar rcs libx.a a.o runs ar --plugin plugin -rcs libx.a a.o"
    else
        check_not_contains "$out.text" "-rcs"
        check_contains "$out.text" "$wrapper passes every argument other than the first -B on unchanged."
    fi
done

echo "PASS"
