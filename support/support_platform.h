// SPDX-License-Identifier: Apache-2.0
// What the libraries need from the host for files, the environment and
// temporary names. Text is UTF-8 on every host; on Windows the wide system
// calls sit behind these functions (support_platform_windows.cc), elsewhere
// they forward to the POSIX calls (support_platform_posix.cc). The build
// compiles one of the two.
#pragma once

#include <cstdio>

// Most temporary-directory candidates a host has.
inline constexpr int platform_temp_candidate_max = 6;

// The value of environment variable `name`, or null when it is unset (on
// Windows also when its value is not valid UTF-16). On Windows the text is a
// UTF-8 copy kept per name: the same pointer while the value stays the same,
// freed when a later call for that name finds another value, so memory is
// bounded by the names asked for. The caller never frees it.
const char *platform_getenv(const char *name);

// open() of a UTF-8 name with the host's O_* flags; negative with errno set.
int platform_open(const char *name, int flags, int mode);

// close(fd); negative with errno set.
int platform_close(int fd);

// fopen() of a UTF-8 name; null with errno set.
std::FILE *platform_fopen(const char *name, const char *mode);

// remove() of a UTF-8 name; negative with errno set.
int platform_remove(const char *name);

// Fills `candidates` with the temporary-directory candidates in the order they
// are tried (null for an unset variable) and returns their count: TMPDIR, TMP,
// TEMP, then "/tmp/", "/var/tmp", "/tmp" on POSIX and GetTempPathW's
// directory on Windows.
int platform_temp_candidates(const char *candidates[platform_temp_candidate_max]);

// Whether `path` may hold temporary files: POSIX, a directory that passes
// access(R_OK | W_OK | X_OK); Windows, an existing directory.
bool platform_usable_directory(const char *path);

// mkstemps(): replaces the six characters before the last `suffix_length` of
// `name_template` in place and creates that file exclusively, for its owner
// alone; its descriptor, or -1 with errno set.
int platform_make_temp_file(char *name_template, int suffix_length);
