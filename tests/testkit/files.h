// SPDX-License-Identifier: Apache-2.0
// Files and directories of the tests and benchmarks. A step that fails is
// reported through fail() (testkit/fail.h) with its path and the system's error.
#pragma once

#include <cstdio>
#include <set>
#include <string>
#include <sys/types.h>

namespace kit {

// Creates `path` and every missing directory above it (mode 0755); false on failure.
bool make_dirs(const std::string &path);

// Puts `content` at `path` with exactly `mode`, through a new file renamed into
// place, so that a program still running from the old file is never written
// into; false on failure.
bool write_file(const std::string &path, const std::string &content, mode_t mode = 0644);

// The whole content of `path`; a file that cannot be read is a failure and reads as "".
std::string read_file(const std::string &path);

// Puts a copy of the bytes of `from` at `to` with exactly `mode`; false on failure.
bool copy_file(const std::string &from, const std::string &to, mode_t mode);

// Everything readable from `fd` until end of file; the descriptor stays open.
std::string read_fd(int fd);

// Everything readable from `stream` until end of file; the stream stays open.
std::string read_stream(std::FILE *stream);

// The names in `directory`, "." and ".." left out; empty when it cannot be read.
std::set<std::string> entries(const std::string &directory);

// Removes `path` and everything below it, whatever the modes, without following links.
void remove_tree(const std::string &path);

} // namespace kit
