#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Runs a Windows program of the build under Wine, as CMAKE_CROSSCOMPILING_EMULATOR:
#   wine-run.sh <wine64> <wineserver> <prefix> <program> [argument...]
# The prefix belongs to the build directory; nothing outside it changes:
# Wine's menu builder, which would write desktop entries and file types
# into $HOME each time the prefix's services start, is switched off. On the
# first use the prefix is booted and its crash debugger set, and whenever no
# server runs for it one is started and the prefix's services with it,
# always with every descriptor on /dev/null: Wine's server and background
# programs outlive the program run here, and holding the caller's pipes
# (ctest's) they would keep it waiting for their end. All of that happens
# under a lock, since tests and test discovery run in parallel.
set -eu
wine=$1
server=$2
prefix=$3
shift 3

WINEPREFIX=$prefix
WINEDEBUG=-all
WINEDLLOVERRIDES="winemenubuilder.exe=d${WINEDLLOVERRIDES:+;$WINEDLLOVERRIDES}"
export WINEPREFIX WINEDEBUG WINEDLLOVERRIDES

mkdir -p "$prefix"
(
    flock 9
    # Exit status 0: a new server was started; 2: one already runs for the prefix.
    started=no
    if "$server" -p600 </dev/null >/dev/null 2>&1 9>&-; then
        started=yes
    fi
    # Not ready also after a first boot that was cut short, whether or not
    # the server it started still runs.
    if [ "$started" = yes ] || [ ! -e "$prefix/zin-prefix-ready" ]; then
        "$wine" wineboot </dev/null >/dev/null 2>&1 9>&-
    fi
    if [ ! -e "$prefix/zin-prefix-ready" ]; then
        # A debugger that cannot be started: a crashing program then ends
        # with its exception code, without Wine's register dump.
        "$wine" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
            /v Debugger /d zin-no-debugger.exe /f </dev/null >/dev/null 2>&1 9>&-
        : >"$prefix/zin-prefix-ready"
    fi
) 9>"$prefix.lock"

exec "$wine" "$@"
