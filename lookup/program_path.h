// SPDX-License-Identifier: Apache-2.0
// The running program's path as relocation sees it.
#pragma once

// A new heap string (plain malloc): `program_path`, first looked up on PATH
// when it holds no directory separator (the first executable regular file of
// that name), then made canonical (canonical_path). Null when `program_path`
// is null or an allocation fails.
char *resolve_program_path(const char *program_path);

// resolve_program_path without the canonical form: the path as found on PATH,
// or as given, symbolic links and "." or ".." steps kept.
char *find_program_path(const char *program_path);
