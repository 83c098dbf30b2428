// SPDX-License-Identifier: Apache-2.0
// Scratch directories below the build tree, where programs may be run from.
#pragma once

#include <string>

namespace kit {

// A new empty directory below the build tree's scratch root, by its canonical
// path, mode 0755 so that the unprivileged user of the permission cases can
// reach into it; "" on failure.
std::string make_scratch_dir();

// One scratch directory for the whole process, made on first use and removed
// when the process that made it exits normally (not by a forked copy).
const std::string &process_scratch_dir();

} // namespace kit
