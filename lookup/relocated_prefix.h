// SPDX-License-Identifier: Apache-2.0
// The directory that stands to the running program's directory as `target_dir`
// stands to `bin_dir`: what an installation tree that was moved needs.
// Results are new heap strings (plain malloc) owned by the caller. Null means
// nothing to relocate or any failure; nothing here ends the program.
#pragma once

// compute_relocated_prefix with symbolic links in the program path resolved.
char *relocated_prefix(const char *program_path, const char *bin_dir, const char *target_dir);

// compute_relocated_prefix with the program path taken as it is.
char *relocated_prefix_keep_links(const char *program_path, const char *bin_dir,
                                  const char *target_dir);

// The relocated directory, or null. A program path without '/' is first looked
// up on PATH; `resolve_links` non-zero canonicalises the program path.
char *compute_relocated_prefix(const char *program_path, const char *bin_dir,
                               const char *target_dir, int resolve_links);
