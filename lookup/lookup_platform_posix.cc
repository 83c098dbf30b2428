// SPDX-License-Identifier: Apache-2.0
// The lookup's host interface on POSIX hosts: the POSIX calls themselves.
#include <climits>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "lookup/lookup_platform.h"

#if defined(__linux__) || defined(__FreeBSD__)
#include <sys/auxv.h>
#endif

namespace {

// The facts of a stat result.
void take_facts(const struct stat &status, FileFacts *facts) {
    facts->identity.volume = static_cast<std::uint64_t>(status.st_dev);
    facts->identity.index = static_cast<std::uint64_t>(status.st_ino);
    facts->is_directory = (status.st_mode & S_IFMT) == S_IFDIR;
    facts->is_regular = (status.st_mode & S_IFMT) == S_IFREG;
}

} // namespace

std::size_t platform_path_length(const char *path) {
    return std::strlen(path);
}

bool platform_is_absolute(const char *path) {
    return path[0] == '/';
}

std::size_t platform_root_length(const char *path) {
    return std::strspn(path, "/");
}

char *platform_program_path() {
    // argv[0] names the program as it was started, which relocation wants.
    return nullptr;
}

bool platform_file_facts(const char *path, FileFacts *facts) {
    struct stat status;
    if (stat(path, &status) != 0) {
        return false;
    }
    take_facts(status, facts);
    return true;
}

bool platform_access(const char *path, int mode) {
    return access(path, mode) == 0;
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

bool platform_is_real_directory(const char *path) {
    struct stat status;
    return lstat(path, &status) == 0 && S_ISDIR(status.st_mode);
}

bool platform_canonical_path(const char *path, char **canonical) {
    char resolved[PATH_MAX];
    if (realpath(path, resolved) == nullptr) {
        return false;
    }
    *canonical = strdup(resolved);
    return true;
}

bool platform_same_component(const char *a, const char *b) {
    return std::strcmp(a, b) == 0;
}
