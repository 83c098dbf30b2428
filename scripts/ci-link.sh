#!/bin/sh
# CI for the link choices (ZIN_LINK, cmake/ZinLink.cmake): builds the project
# once per choice, each in its own directory build/link-<choice> from the dev
# preset (warnings as errors), and runs the suites that start the built
# programs: end-to-end, install and hardening.
#   scripts/ci-link.sh                  static and dynamic; musl-static is the
#                                       default that scripts/test.sh builds
#   scripts/ci-link.sh musl-static static dynamic
set -eu
cd "$(dirname "$0")/.."

scripts/install-deps.sh

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

for link in "$@"; do
    build=build/link-$link
    echo "=== ZIN_LINK=$link in $build"
    cmake --preset dev -B "$build" -DZIN_LINK="$link" >/dev/null
    cmake --build "$build" -j2
    ctest --test-dir "$build" -L 'e2e|install|hardening' -j2 --output-on-failure --no-tests=error
done
