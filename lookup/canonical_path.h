// SPDX-License-Identifier: Apache-2.0
// Symbolic-link-free absolute form of a path.
#pragma once

// A new heap string (plain malloc): realpath() of `path`, or an unchanged copy
// when realpath fails; null only when that copy cannot be allocated.
char *canonical_path(const char *path);
