// SPDX-License-Identifier: Apache-2.0
// The fixtures of the pipeline tests: a test leaves no descriptor, child
// process or temporary file behind; pipelines over the recording back end;
// children started by the Unix back end (POSIX hosts).
#pragma once

#include <cerrno>
#include <cstdio>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <type_traits>
#include <vector>

#include "pex/fake_backend.h"
#include "pex/pex.h"
#include "testkit/leftovers.h"
#include "testkit/scratch_test.h"

// The host's null device ("/dev/null", "NUL").
extern const char *const null_device;

// A write stream whose close fails once something is written, and the errno
// it leaves: POSIX, /dev/full and ENOSPC; Windows, a stream whose descriptor
// is already closed, and EBADF.
std::FILE *open_failing_stream(int *close_errno);

// A test leaves no descriptor open or closed, no descendant and no file in the
// scratch directory behind. Its scratch directory is not one of its own but
// the process's, which TMPDIR names, so that every temporary file of the
// library lands there; it is emptied, not removed, after each test. A watchdog
// ends a hung test.
class HygieneTest : public kit::ScratchTest {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Removes everything in the scratch directory; the names it held.
    std::set<std::string> take_scratch_entries() const;

    kit::Snapshot snapshot_;
};

// The errno that `call` left when it failed (gave null or a negative
// number), errno cleared before; -1 when it did not fail.
template <typename Call>
int failure_errno(Call call) {
    errno = 0;
    auto result = call();
    if constexpr (std::is_pointer_v<decltype(result)>) {
        return result == nullptr ? errno : -1;
    } else {
        return result < 0 ? errno : -1;
    }
}

// Starts a stage of "tool" over `pipeline`; its error number goes to
// *error_number when given.
const char *run_tool(Pipeline *pipeline, unsigned flags, const char *outname = nullptr,
                     const char *errname = nullptr, int *error_number = nullptr);

// Pipelines over the recording back end, which starts afresh for every test.
class FakePipelineTest : public HygieneTest {
  protected:
    void SetUp() override;

    // A pipeline of program "zin-test" over the fake or `backend`.
    static Pipeline *make(unsigned flags, const char *temp_base = nullptr,
                          const PexBackend *backend = &fake_backend);

    // run_tool with error_number_, which is -7 before the start.
    const char *run(Pipeline *pipeline, unsigned flags, const char *outname = nullptr,
                    const char *errname = nullptr);

    // Releases the pipeline and checks that every descriptor the back end
    // handed out was closed or consumed exactly once.
    static void release_and_check(Pipeline *pipeline);

    int error_number_ = -7;
};

// Children started and reaped through the Unix back end (hygiene_posix.cc).
class UnixBackendFixture : public HygieneTest {
  protected:
    void SetUp() override;

    // pex_unix_spawn_child with this pipeline; its failure goes to message_
    // and error_number_ (-7 before the start).
    pid_t spawn(int flags, const char *executable, std::vector<const char *> argv, int in_fd = 0,
                int out_fd = 1, int err_fd = 2, int child_close_fd = -1,
                const char *const *env = nullptr);

    // The raw status of `pid`, reaped through the back end, with its times
    // when `times` is given.
    int wait_for(pid_t pid, int terminate_first = 0, PexStageTimes *times = nullptr);

    Pipeline pipeline_{};
    const char *message_ = nullptr;
    int error_number_ = 0;
};
