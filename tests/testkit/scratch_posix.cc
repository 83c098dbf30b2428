// SPDX-License-Identifier: Apache-2.0
// Scratch directories on POSIX hosts.
#include <climits>
#include <cstdlib>
#include <sys/stat.h>

#include "testkit/fail.h"
#include "testkit/files.h"
#include "testkit/scratch.h"

namespace kit {

std::string make_scratch_dir() {
    if (!make_dirs(ZIN_TESTKIT_SCRATCH_ROOT)) {
        return "";
    }
    std::string pattern = std::string(ZIN_TESTKIT_SCRATCH_ROOT) + "/XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        fail(with_errno("mkdtemp " + pattern));
        return "";
    }
    char resolved[PATH_MAX];
    if (chmod(pattern.c_str(), 0755) != 0 || realpath(pattern.c_str(), resolved) == nullptr) {
        fail(with_errno("scratch directory " + pattern));
        return "";
    }
    return resolved;
}

} // namespace kit
