// SPDX-License-Identifier: Apache-2.0
// What the hygiene checks need from the host, one source per host
// (hygiene_posix.cc, hygiene_windows.cc).
#pragma once

#include <set>
#include <string>

// Names `directory` in TMPDIR for this process; false when it cannot.
bool name_temp_directory(const std::string &directory);

// The descriptors open in this process.
std::set<int> open_descriptor_snapshot();

// Ends the process with a message after `seconds` (a hung test); 0 disarms.
void set_watchdog(unsigned seconds);

// The children of this process still running or not yet reaped, described;
// empty when there are none.
std::string children_left();
