// SPDX-License-Identifier: Apache-2.0
// Base names of paths; nothing is allocated, results point into the argument.
#pragma once

// The position just after the last '/', or the start when there is none.
const char *path_base_name(const char *path);

// Like path_base_name, but also skips a leading drive "X:" and treats '\\' as a separator.
const char *path_base_name_dos(const char *path);

// The host's rule: path_base_name on POSIX hosts, path_base_name_dos on Windows.
const char *platform_base_name(const char *path);
