// SPDX-License-Identifier: Apache-2.0
// What makes two paths name the same file, and the running program's file.
#pragma once

#include <sys/types.h>

// A file as the system tells files apart: its device and inode.
struct FileIdentity {
    dev_t device;
    ino_t inode;
};

// Fills *identity with the file that `path` names, links followed; false when
// `path` is null or names nothing that can be examined.
bool file_identity(const char *path, FileIdentity *identity);

// Fills *identity with the file the kernel started this process from; false
// when the platform does not say which file that was.
bool running_program_identity(FileIdentity *identity);
