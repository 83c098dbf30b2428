#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# CI for the link choices (ZIN_LINK, cmake/ZinLink.cmake): builds the project
# once per choice, each in its own directory build/link-<choice> from the dev
# preset (warnings as errors), and runs the suites that start the built
# programs: end-to-end, install and hardening.
#   scripts/ci-link.sh                  static and dynamic; musl-static is the
#                                       default that scripts/test.sh builds
#   scripts/ci-link.sh musl-static static dynamic
set -eu
cd "$(dirname "$0")/.."
. scripts/lib.sh

[ $# -gt 0 ] || set -- static dynamic
for link in "$@"; do
    case "$link" in
    musl-static | static | dynamic) ;;
    *)
        echo "ci-link.sh: unknown link choice '$link' (known: musl-static, static, dynamic)" >&2
        exit 2
        ;;
    esac
done

step "install dependencies" scripts/install-deps.sh
for link in "$@"; do
    build=build/link-$link
    step "$link: configure" cmake --preset dev -B "$build" -DZIN_LINK="$link"
    step "$link: build" cmake --build "$build" -j2
    step "$link: programs' tests" \
        ctest --test-dir "$build" -L 'e2e|install|hardening' -j2 --output-on-failure --no-tests=error
done
steps_done
