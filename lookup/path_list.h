// SPDX-License-Identifier: Apache-2.0
// Lists of directories in one string, such as PATH: where each piece ends and
// the prefix it stands for. The search lists and the program's lookup on PATH
// share these, so that both read an empty piece as the current directory.
#pragma once

#include <cstddef>

// The end of the list piece that begins at `piece`: the next `separator`, or
// the string's terminating NUL after the last piece.
const char *path_list_piece_end(const char *piece, char separator);

// Writes into `prefix` the directory prefix that the `length` bytes at `piece`
// stand for and returns its length; no NUL is written. "./" for an empty
// piece, else the piece with a '/' added unless it already ends in a separator.
// `prefix` needs room for length + 2 bytes.
std::size_t path_list_prefix(char *prefix, const char *piece, std::size_t length);
