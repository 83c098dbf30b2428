// SPDX-License-Identifier: Apache-2.0
// What the pipeline fixtures need from the host, one source per host
// (hygiene_posix.cc, hygiene_windows.cc).
#pragma once

#include <string>

// Names `directory` in TMPDIR for this process; false when it cannot.
bool name_temp_directory(const std::string &directory);

// Ends the process with a message after `seconds` (a hung test); 0 disarms.
void set_watchdog(unsigned seconds);
