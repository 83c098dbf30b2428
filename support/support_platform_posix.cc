// SPDX-License-Identifier: Apache-2.0
// The host interface on POSIX: each function is the POSIX call itself.
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/support_platform.h"

const char *platform_getenv(const char *name) {
    return std::getenv(name);
}

int platform_open(const char *name, int flags, int mode) {
    return open(name, flags, static_cast<mode_t>(mode));
}

int platform_close(int fd) {
    return close(fd);
}

std::FILE *platform_fopen(const char *name, const char *mode) {
    return std::fopen(name, mode);
}

int platform_remove(const char *name) {
    return std::remove(name);
}

int platform_temp_candidates(const char *candidates[platform_temp_candidate_max]) {
    const char *const list[platform_temp_candidate_max] = {std::getenv("TMPDIR"),
                                                           std::getenv("TMP"),
                                                           std::getenv("TEMP"),
                                                           "/tmp/",
                                                           "/var/tmp",
                                                           "/tmp"};
    for (int i = 0; i < platform_temp_candidate_max; ++i) {
        candidates[i] = list[i];
    }
    return platform_temp_candidate_max;
}

bool platform_usable_directory(const char *path) {
    struct stat info;
    return access(path, R_OK | W_OK | X_OK) == 0 && stat(path, &info) == 0 && S_ISDIR(info.st_mode);
}

int platform_make_temp_file(char *name_template, int suffix_length) {
    return mkstemps(name_template, suffix_length);
}
