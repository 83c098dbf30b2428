// SPDX-License-Identifier: Apache-2.0
// What the leftovers check asks of the host, one source per host
// (leftovers_posix.cc, leftovers_windows.cc).
#pragma once

#include <set>

#include "testkit/leftovers.h"

namespace kit {

// The descriptors open in this process.
std::set<int> open_descriptors();

// Makes this process the reaper of its orphaned descendants; false where it
// cannot be one.
bool become_reaper();

// Ends what is left of this process's descendants: waits up to `wait_ms` for
// those still running, kills the rest, and puts their raw statuses and the
// number killed into *left.
void take_descendants(int wait_ms, Leftovers *left);

} // namespace kit
