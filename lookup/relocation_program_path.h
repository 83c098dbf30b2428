// SPDX-License-Identifier: Apache-2.0
// The running program's path as the relocation sees it.
#pragma once

// A new heap string (plain malloc): `program_path`, first looked up on PATH
// when it holds no '/', then canonicalised (`resolve_links` non-zero) or
// copied. Null when any allocation fails. A caller that relocates several
// directories resolves once and hands the result to
// relocated_prefix_keep_links, which then gives what relocated_prefix gives
// for the original path without walking it again.
char *relocation_program_path(const char *program_path, int resolve_links);
