#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Formats the project's C and C++ sources in place with .clang-format, or,
# with --check, changes nothing and fails (exit status 1) when any file
# differs from its formatted self, showing where.
#
#   scripts/format.sh [--check]
#
# Needs clang-format-16 (install: scripts/install-deps.sh analysis); other
# versions format differently, so no other one is taken.
set -eu
cd "$(dirname "$0")/.."
. scripts/lib.sh

mode=-i
case "${1:-}" in
"") ;;
--check) mode="--dry-run -Werror" ;;
*)
    echo "usage: scripts/format.sh [--check]" >&2
    exit 2
    ;;
esac
command -v clang-format-16 >/dev/null 2>&1 || {
    echo "format.sh: clang-format-16 is not installed (scripts/install-deps.sh analysis)" >&2
    exit 1
}

# Every source of the project, tracked or not yet; none has a blank in its
# name.
# shellcheck disable=SC2086
sources=$(find $product_modules tests bench fuzz -type f \
    \( -name '*.c' -o -name '*.cc' -o -name '*.h' \) | sort)
# shellcheck disable=SC2086
if ! printf '%s\n' $sources | xargs clang-format-16 --style=file $mode; then
    if [ "$mode" = -i ]; then
        echo "format.sh: clang-format-16 failed" >&2
    else
        echo "format.sh: the places above differ from the format; scripts/format.sh formats them" >&2
    fi
    exit 1
fi
