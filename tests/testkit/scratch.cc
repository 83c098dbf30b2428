// SPDX-License-Identifier: Apache-2.0
// The process's scratch directory, alike on every host; making a directory
// has one source per host (scratch_posix.cc, scratch_windows.cc).
#include "testkit/scratch.h"

#include <cstdlib>
#include <unistd.h>

#include "testkit/files.h"

namespace kit {

namespace {

// The process that made the scratch directory: a forked copy leaves it.
decltype(getpid()) process_scratch_owner = 0;

void remove_process_scratch_dir() {
    if (getpid() == process_scratch_owner) {
        remove_tree(process_scratch_dir());
    }
}

} // namespace

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
