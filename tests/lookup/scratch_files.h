// File-system fixtures of the lookup tests: a private scratch directory with
// files, directories and links made in it.
#pragma once

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <ftw.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

// A new empty directory under /tmp, canonical, searchable by every user (the
// permission cases run as an unprivileged user); empty on failure.
inline std::string make_scratch_dir() {
    char pattern[] = "/tmp/zin-lookup-XXXXXX";
    if (mkdtemp(pattern) == nullptr || chmod(pattern, 0755) != 0)
        return std::string();
    char resolved[PATH_MAX];
    if (realpath(pattern, resolved) == nullptr)
        return std::string();
    return resolved;
}

// Removes `path` and everything below it, without following links.
inline void remove_tree(const std::string &path) {
    if (path.empty())
        return;
    nftw(
        path.c_str(),
        [](const char *entry, const struct stat *, int, struct FTW *) { return remove(entry); }, 16,
        FTW_DEPTH | FTW_PHYS);
}

// Creates (or truncates) a small file with exactly `mode`; false on failure.
inline bool write_file(const std::string &path, mode_t mode) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    bool written = write(fd, "#!/bin/sh\n", 10) == 10;
    return close(fd) == 0 && written && chmod(path.c_str(), mode) == 0;
}

// Creates a directory searchable by everyone; false on failure.
inline bool make_dir(const std::string &path) {
    return mkdir(path.c_str(), 0755) == 0 || errno == EEXIST;
}
