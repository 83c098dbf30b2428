#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Windows hosts for CI: installs MinGW-w64 and Wine, runs the windows
# workflow (configure, build, every test under Wine, the ZIP) in
# build/windows, then stops the Wine server of that build's prefix, which
# the tests leave running for the next test. Nothing outside the build
# directory is changed.
set -eu
cd "$(dirname "$0")/.."
. scripts/lib.sh

build=build/windows

# Ends the Wine server of the build's prefix, if one runs (none when the
# build was never configured).
stop_wine_server() {
    [ -f "$build/CMakeCache.txt" ] || return 0
    server=$(sed -n 's/^ZIN_WINESERVER:FILEPATH=//p' "$build/CMakeCache.txt")
    if [ -n "$server" ] && [ -d "$build/wine-prefix" ]; then
        WINEPREFIX="$PWD/$build/wine-prefix" "$server" -k 2>/dev/null || true
    fi
}

step "install dependencies" scripts/install-deps.sh windows
step "windows: build, test (Wine), ZIP" cmake --workflow --preset windows
step "windows: stop the Wine server" stop_wine_server
steps_done
