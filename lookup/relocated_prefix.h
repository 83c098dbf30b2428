// SPDX-License-Identifier: Apache-2.0
// The directory that stands to the running program's directory as `target_dir`
// stands to `bin_dir`: what an installation tree that was moved needs.
// Results are new heap strings (plain malloc) owned by the caller. Null means
// nothing to relocate or any failure; nothing here ends the program.
#pragma once

// The relocated directory for a program path taken as it is (no lookup, no
// system call): its directory, one "../" for every component of `bin_dir`
// past the part it shares with `target_dir`, then the rest of `target_dir`.
// Null when an argument is null or empty, when the program's directory is
// `bin_dir`, when `bin_dir` and `target_dir` share no first component, or
// when an allocation fails.
char *relocate_directory(const char *resolved_program_path, const char *bin_dir,
                         const char *target_dir);

// relocate_directory on resolve_program_path(`program_path`): a program
// reached through PATH or a symbolic link is relocated from where it really is.
char *relocated_prefix(const char *program_path, const char *bin_dir, const char *target_dir);

// relocate_directory on find_program_path(`program_path`): relocated from the
// path as found on PATH or as given, through whatever links it holds.
char *relocated_prefix_keep_links(const char *program_path, const char *bin_dir,
                                  const char *target_dir);

// relocated_prefix when `resolve_links` is non-zero, else
// relocated_prefix_keep_links.
char *compute_relocated_prefix(const char *program_path, const char *bin_dir,
                               const char *target_dir, int resolve_links);
