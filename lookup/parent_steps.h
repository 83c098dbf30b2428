// SPDX-License-Identifier: Apache-2.0
// Shorter equivalent names for paths that climb out of real directories.
#pragma once

// A new heap string (plain malloc; null when it cannot be allocated): `path`
// with every "name/.." step removed whose `name`, looked at on the already
// shortened prefix (platform_is_real_directory), is a directory and not a
// symbolic link, so that the result names the same file. The root stays, as do
// other steps and separators as written; a trailing separator is kept, and a
// path left empty becomes ".".
char *remove_parent_steps(const char *path);
