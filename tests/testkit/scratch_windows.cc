// SPDX-License-Identifier: Apache-2.0
// Scratch directories on Windows hosts: the root is the build tree's scratch
// directory as Windows names it, each directory's name six random characters.
#include <process.h>
#include <random>
#include <windows.h>

#include "testkit/fail.h"
#include "testkit/files.h"
#include "testkit/scratch.h"
#include "testkit/win32.h"

namespace kit {

std::string make_scratch_dir() {
    if (!make_dirs(ZIN_TESTKIT_SCRATCH_ROOT)) {
        return "";
    }
    static constexpr char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    static std::mt19937 random(std::random_device{}() ^ static_cast<unsigned>(_getpid()));
    std::uniform_int_distribution<std::size_t> pick(0, sizeof letters - 2);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string path = std::string(ZIN_TESTKIT_SCRATCH_ROOT) + "/";
        for (int i = 0; i < 6; ++i) {
            path += letters[pick(random)];
        }
        if (CreateDirectoryW(wide(path).c_str(), nullptr)) {
            wchar_t full[MAX_PATH];
            DWORD length = GetFullPathNameW(wide(path).c_str(), MAX_PATH, full, nullptr);
            if (length == 0 || length >= MAX_PATH) {
                fail(with_last_error("GetFullPathNameW " + path));
                return "";
            }
            return narrow(full);
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS) {
            fail(with_last_error("CreateDirectoryW " + path));
            return "";
        }
    }
    fail("no free scratch directory name below " + std::string(ZIN_TESTKIT_SCRATCH_ROOT));
    return "";
}

} // namespace kit
