#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# CI for the link choices (ZIN_LINK, cmake/ZinLink.cmake): builds the project
# once per choice with its workflow preset link-<choice> (the dev build,
# warnings as errors, in build/link-<choice>) and runs the suites that start
# the built programs: end-to-end, install and hardening.
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
    step "$link: build and test" cmake --workflow --preset "link-$link"
done
steps_done
