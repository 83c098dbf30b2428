// SPDX-License-Identifier: Apache-2.0
// The identity of a file, and of the file the running program was started from.
#include "lookup/file_identity.h"

#include <sys/stat.h>

#if defined(__linux__)
#include <sys/auxv.h>
#elif defined(__FreeBSD__)
#include <climits>
#include <sys/auxv.h>
#endif

bool file_identity(const char *path, FileIdentity *identity) {
    struct stat status;
    if (path == nullptr || stat(path, &status) != 0) {
        return false;
    }
    identity->device = status.st_dev;
    identity->inode = status.st_ino;
    return true;
}

bool running_program_identity(FileIdentity *identity) {
    // The path the kernel was asked to execute, from the auxiliary vector:
    // no /proc needed (build chroots often lack it), and an emulator that
    // runs the program reports the program, not itself.
#if defined(__linux__)
    // getauxval hands every entry over as an integer, this one a pointer.
    // NOLINTNEXTLINE(performance-no-int-to-ptr)
    return file_identity(reinterpret_cast<const char *>(getauxval(AT_EXECFN)), identity);
#elif defined(__FreeBSD__)
    char path[PATH_MAX];
    return elf_aux_info(AT_EXECPATH, path, sizeof path) == 0 && file_identity(path, identity);
#else
    (void)identity;
    return false;
#endif
}
