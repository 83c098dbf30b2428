#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Installs what is missing, builds with warnings as errors (preset dev) and
# runs every test.
set -eu
cd "$(dirname "$0")/.."
. scripts/lib.sh

step "install dependencies" scripts/install-deps.sh
step "dev: build and test" cmake --workflow --preset dev
steps_done
