// SPDX-License-Identifier: Apache-2.0
// Uniquely named, empty temporary files.
#pragma once

// The temporary directory with an appended '/', chosen once per process from
// the host's candidates (platform_temp_candidates: TMPDIR, TMP, TEMP, then
// "/tmp/", "/var/tmp", "/tmp" or the Windows temporary path), else "."; never
// to be freed.
const char *temp_directory();

// Name (new heap string) of a new, empty, closed file: directory, prefix
// ("cc" when null), six unique characters, suffix. Aborts with a message when
// the file cannot be created.
char *create_temp_file_prefixed(const char *prefix, const char *suffix);

// create_temp_file_prefixed(nullptr, suffix).
char *create_temp_file(const char *suffix);
