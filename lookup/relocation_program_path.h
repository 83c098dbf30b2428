// The running program's path as the relocation sees it (internal to relocation).
#pragma once

// A new heap string (plain malloc): `program_path`, first looked up on PATH
// when it holds no '/', then canonicalised (`resolve_links` non-zero) or
// copied. Null when any allocation fails.
char *relocation_program_path(const char *program_path, int resolve_links);
