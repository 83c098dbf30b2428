// SPDX-License-Identifier: Apache-2.0
#include "testkit/scratch.h"

#include <climits>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

#include "testkit/fail.h"
#include "testkit/files.h"

namespace kit {

namespace {

pid_t process_scratch_owner = 0;

void remove_process_scratch_dir() {
    if (getpid() == process_scratch_owner) {
        remove_tree(process_scratch_dir());
    }
}

} // namespace

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

const std::string &process_scratch_dir() {
    // Never destroyed: the exit handler still reads it.
    static const std::string *directory = [] {
        auto *made = new std::string(make_scratch_dir());
        process_scratch_owner = getpid();
        std::atexit(remove_process_scratch_dir);
        return made;
    }();
    return *directory;
}

} // namespace kit
