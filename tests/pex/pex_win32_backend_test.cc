// SPDX-License-Identifier: Apache-2.0
// The Win32 back end with real children: the stand-in tool (tests/tools).
// How CommandLineToArgvW splits the quoted lines is the fuzz target's replay.
#include "pex/pex_win32_backend.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cwchar>
#include <fcntl.h>
#include <io.h>
#include <string>
#include <vector>
#include <windows.h>

#include "pex/hygiene.h"
#include "support/support_platform.h"
#include "support/support_platform_windows.h"
#include "testkit/files.h"

namespace {

const char *const tool = ZIN_TEST_STAND_IN_TOOL;
using Strings = std::vector<std::string>;

// A null-terminated vector of the strings given, which must outlive it.
std::vector<const char *> vector_of(const Strings &strings) {
    std::vector<const char *> result;
    for (const std::string &text : strings) {
        result.push_back(text.c_str());
    }
    result.push_back(nullptr);
    return result;
}

// argv as the stand-in prints it: each element on a line.
std::string lines(const Strings &argv) {
    std::string text;
    for (const std::string &argument : argv) {
        text += argument + "\n";
    }
    return text;
}

// What a child did.
struct ChildRun {
    int status = -1;
    std::string out;
    std::string err;
};

class Win32BackendTest : public HygieneTest {
  protected:
    void SetUp() override {
        HygieneTest::SetUp();
        pipeline_.program_name = "zin-test";
        pipeline_.backend = &pex_win32_backend;
    }

    // A pipe from the back end's slot.
    void make_pipe(int fds[2], int binary_mode = 1) {
        ASSERT_EQ(pex_win32_backend.make_pipe(&pipeline_, fds, binary_mode), 0);
    }

    // The child, or -1 with message_ and error_number_ set; it sees only `env`.
    pid_t spawn(int flags, const char *executable, const Strings &argv, const Strings &env,
                int in_fd = 0, int out_fd = 1, int err_fd = 2) {
        std::vector<const char *> args = vector_of(argv);
        std::vector<const char *> environment = vector_of(env);
        error_number_ = -7;
        return pex_win32_spawn_child(&pipeline_, flags, executable, args.data(), environment.data(),
                                     in_fd, out_fd, err_fd, -1, &message_, &error_number_);
    }

    // The exit code of `pid`, waited for through the back end.
    int wait_for(pid_t pid, int terminate_first = 0, PexStageTimes *times = nullptr) {
        int status = -1;
        const char *message = nullptr;
        int error_number = 0;
        EXPECT_EQ(pex_win32_wait_child(&pipeline_, pid, &status, times, terminate_first, &message,
                                       &error_number),
                  0)
            << message;
        return status;
    }

    // Runs a child with its output and error read through pipes.
    ChildRun run(int flags, const char *executable, const Strings &argv, const Strings &env) {
        ChildRun child;
        int out[2] = {-1, -1};
        int err[2] = {-1, -1};
        make_pipe(out);
        make_pipe(err);
        pid_t pid = spawn(flags, executable, argv, env, 0, out[1], err[1]);
        child.out = kit::read_fd(out[0]);
        child.err = kit::read_fd(err[0]);
        _close(out[0]);
        _close(err[0]);
        if (pid != -1) {
            child.status = wait_for(pid);
        }
        return child;
    }

    Pipeline pipeline_{};
    const char *message_ = nullptr;
    int error_number_ = 0;
};

TEST_F(Win32BackendTest, ExitCodesAndArgumentsArriveWhole) {
    for (unsigned code : {0u, 300u, 0xFFFFFFFFu, 0xC0000005u}) {
        ChildRun child = run(0, tool, {"tool"}, {"STAND_IN_EXIT=" + std::to_string(code)});
        EXPECT_EQ(static_cast<unsigned>(child.status), code);
    }
    for (const Strings &argv : {Strings{"C:\\Program Files\\tool", "", "two words", "tab\there"},
                                Strings{"", "say \"hi\"", "\"", "a\\\"b", "end\\", "sp ace\\"},
                                Strings{"n", "\\\\server\\share", "x\\\\ y", "\"\"", "日本 語"}}) {
        EXPECT_EQ(run(0, tool, argv, {}).out, lines(argv));
    }
    // A standard descriptor the caller lacks is one the child goes without.
    int out[2];
    make_pipe(out);
    int saved_input = _dup(0);
    _close(0);
    pid_t pid = spawn(0, tool, {"tool"}, {}, 0, out[1]);
    _dup2(saved_input, 0);
    _close(saved_input);
    EXPECT_EQ(kit::read_fd(out[0]), "tool\n");
    _close(out[0]);
    EXPECT_EQ(wait_for(pid), 0);
}

// A start that fails: the flags, the executable (without PEX_PATH_SEARCH in
// the scratch directory) and the errno reported with "CreateProcess".
struct StartFailureRow {
    int flags;
    const char *executable;
    int error_number;
};

TEST_F(Win32BackendTest, FailedStartsReportAndCloseTheDescriptors) {
    ASSERT_TRUE(kit::write_file(at("text.exe"), "not a program\n"));
    for (const StartFailureRow &row : {StartFailureRow{0, "missing.exe", ENOENT},
                                       StartFailureRow{PEX_PATH_SEARCH, "zin-no-such", ENOENT},
                                       StartFailureRow{0, "text.exe", ENOEXEC},
                                       StartFailureRow{PEX_PATH_SEARCH, nullptr, EFAULT}}) {
        SCOPED_TRACE(row.executable != nullptr ? row.executable : "null");
        int in[2];
        int out[2];
        make_pipe(in);
        make_pipe(out);
        std::string path = row.flags != 0 ? "" : at(row.executable);
        const char *executable = row.flags != 0 ? row.executable : path.c_str();
        EXPECT_EQ(spawn(row.flags, executable, {"x"}, {"PATH=" + scratch_}, in[0], out[1]), -1);
        EXPECT_STREQ(message_, "CreateProcess");
        EXPECT_EQ(error_number_, row.error_number);
        EXPECT_EQ(kit::read_fd(out[0]), "") << "end of file: the back end closed the writer";
        _close(in[1]);
        _close(out[0]);
    }
    std::remove(at("text.exe").c_str());
}

// The limit counts UTF-16 units with the NUL: `"tool" ` and 32759 more fit.
TEST_F(Win32BackendTest, CommandLineLimitInUtf16Units) {
    const std::string fits(32759, 'a');
    std::string greek_fits; // twice the bytes, the same units
    for (std::size_t i = 0; i < fits.size(); ++i) {
        greek_fits += "α";
    }
    for (const std::string &argument : {fits, greek_fits}) {
        EXPECT_EQ(run(0, tool, {"tool", argument}, {"STAND_IN_SHOW=size"}).out.substr(0, 7),
                  "argc 2 ");
    }
    ChildRun refused = run(0, tool, {"tool", fits + "a"}, {});
    EXPECT_STREQ(message_, "command line too long");
    EXPECT_EQ(error_number_, E2BIG);
    EXPECT_EQ(refused.status, -1) << "nothing started";
}

// Non-ASCII text in the environment block, in a program's path and in the
// name searched on PATH, found as a program beside a file of the bare name;
// standard error merged into the output.
TEST_F(Win32BackendTest, NonAsciiEnvironmentAndNames) {
    const std::string text = "ελληνικά 日本語 ü";
    EXPECT_EQ(run(0, tool, {"tool"}, {"STAND_IN_STDERR=" + text}).err, text);
    ChildRun merged = run(PEX_MERGE_STDERR, tool, {"tool"}, {"STAND_IN_STDERR=" + text});
    EXPECT_EQ(merged.out, text + "tool\n");
    EXPECT_EQ(merged.err, "");

    const std::string directory = at("τόπος");
    const std::string copy = directory + "\\工具.exe";
    wchar_t *wide[3] = {platform_utf8_to_wide(directory.c_str()), platform_utf8_to_wide(tool),
                        platform_utf8_to_wide(copy.c_str())};
    ASSERT_TRUE(CreateDirectoryW(wide[0], nullptr));
    ASSERT_TRUE(CopyFileW(wide[1], wide[2], TRUE));
    const std::string script = directory + "\\工具";
    ASSERT_TRUE(kit::write_file(script, "#!/bin/sh\n"));
    EXPECT_EQ(run(0, copy.c_str(), {"工具", text}, {}).out, lines({"工具", text}));
    EXPECT_EQ(run(PEX_PATH_SEARCH, "工具", {"工具"}, {"PATH=C:\\nowhere;" + directory}).out,
              "工具\n");
    platform_remove(script.c_str());
    DeleteFileW(wide[2]);
    RemoveDirectoryW(wide[0]);
    for (wchar_t *name : wide) {
        std::free(name);
    }
}

// The entries of an environment block, in their order, in UTF-8.
Strings entries_of(const wchar_t *block) {
    Strings entries;
    for (; *block != L'\0'; block += std::wcslen(block) + 1) {
        char *entry = platform_wide_to_utf8(block);
        entries.emplace_back(entry);
        std::free(entry);
    }
    return entries;
}

// Sorted by name alone ("A" before "A1"), upper case ("a" before "_"), the
// drives' "=C:" first, one name's entries as given; an empty entry left out.
TEST(Win32EnvironmentBlockTest, SortedByNameWithoutRegardToCase) {
    const Strings env = {"_x=1", "b=2", "A1=3", "Path=4", "", "=C:=C:\\", "a=5", "PATH=6", "α=7"};
    wchar_t *block = pex_win32_environment_block(vector_of(env).data());
    EXPECT_EQ(entries_of(block),
              (Strings{"=C:=C:\\", "a=5", "A1=3", "b=2", "Path=4", "PATH=6", "_x=1", "α=7"}));
    std::free(block);
    block = pex_win32_environment_block(vector_of({}).data());
    EXPECT_TRUE(block[0] == L'\0' && block[1] == L'\0') << "two NULs";
    std::free(block);
    errno = 0;
    EXPECT_EQ(pex_win32_environment_block(vector_of({"A=1", "B=\xFF"}).data()), nullptr);
    EXPECT_EQ(errno, EILSEQ);
}

// The translation each slot applies, seen in the bytes that cross it.
TEST_F(Win32BackendTest, TextAndBinaryModes) {
    const std::string name = at("αρχείο.txt");
    for (int binary : {0, 1}) {
        SCOPED_TRACE(binary);
        const std::string crossed = binary != 0 ? "a\nb" : "a\r\nb";
        int fds[2];
        make_pipe(fds, binary);
        ASSERT_EQ(_write(fds[1], "a\nb", 3), 3);
        _close(fds[1]);
        _setmode(fds[0], _O_BINARY);
        EXPECT_EQ(kit::read_fd(fds[0]), crossed) << "pipe";
        _close(fds[0]);

        int fd = pex_win32_backend.open_for_write(&pipeline_, name.c_str(), binary, 0);
        ASSERT_EQ(_write(fd, "a\nb", 3), 3);
        _close(fd);
        fd = pex_win32_backend.open_for_read(&pipeline_, name.c_str(), 1);
        EXPECT_EQ(kit::read_fd(fd), crossed) << "file";
        _close(fd);
        fd = pex_win32_backend.open_for_read(&pipeline_, name.c_str(), binary);
        std::FILE *stream = pex_win32_backend.read_stream_from_fd(&pipeline_, fd, binary);
        EXPECT_EQ(kit::read_stream(stream), "a\nb") << "read back in the same mode";
        std::fclose(stream);
    }
    platform_remove(name.c_str());
}

TEST_F(Win32BackendTest, TimesTerminationAndStrangers) {
    int in[2];
    make_pipe(in);
    pid_t blocked = spawn(0, tool, {"tool"}, {"STAND_IN_SHOW=stdin"}, in[0]);
    ASSERT_NE(blocked, -1);
    EXPECT_EQ(static_cast<unsigned>(wait_for(blocked, 1)), pex_win32_terminated_exit_code);
    _close(in[1]);

    // A child already ended keeps its own code; its times are the system's.
    pid_t ended = spawn(0, tool, {"tool"}, {"STAND_IN_EXIT=5"});
    HANDLE own;
    ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(),
                                reinterpret_cast<HANDLE>(static_cast<intptr_t>(ended)),
                                GetCurrentProcess(), &own, 0, FALSE, DUPLICATE_SAME_ACCESS));
    WaitForSingleObject(own, INFINITE);
    PexStageTimes times = {-1, -1, -1, -1};
    EXPECT_EQ(wait_for(ended, 1, &times), 5);
    FILETIME created, exited, kernel, user;
    ASSERT_TRUE(GetProcessTimes(own, &created, &exited, &kernel, &user));
    CloseHandle(own);
    auto microseconds = [](FILETIME time) {
        return ((static_cast<std::int64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime) / 10;
    };
    EXPECT_EQ(times.user_sec * 1000000 + times.user_usec, microseconds(user));
    EXPECT_EQ(times.system_sec * 1000000 + times.system_usec, microseconds(kernel));
    EXPECT_LT(times.user_usec, 1000000);
    EXPECT_LT(times.system_usec, 1000000);

    // Ids with no child behind them, ended first: none, this very process
    // (a pseudo-handle), a file of this process, which must stay open.
    int fd = pex_win32_backend.open_for_write(&pipeline_, at("file").c_str(), 1, 0);
    ASSERT_GE(fd, 0);
    for (intptr_t stranger : {intptr_t{0}, intptr_t{-1}, _get_osfhandle(fd)}) {
        SCOPED_TRACE(stranger);
        int status = -1;
        EXPECT_EQ(pex_win32_wait_child(&pipeline_, static_cast<pid_t>(stranger), &status, nullptr,
                                       1, &message_, &error_number_),
                  -1);
        EXPECT_STREQ(message_, "WaitForSingleObject");
        EXPECT_EQ(error_number_, ECHILD);
    }
    EXPECT_EQ(_write(fd, "x", 1), 1);
    EXPECT_EQ(_close(fd), 0);
    platform_remove(at("file").c_str());
}

// The input pipe's writer stays open while the second stage starts: only
// because that stage holds no copy of it does the first one see end of file.
TEST_F(Win32BackendTest, PipedPipelineEndsWhenItsInputCloses) {
    std::string output = at("out");
    Pipeline *pipeline = pex_create(PEX_INIT_PIPES, "zin-test", nullptr);
    ASSERT_EQ(pipeline->backend, &pex_win32_backend);
    std::FILE *input = pex_open_input_pipe(pipeline, 1);
    const char *const argv[] = {"tool", nullptr};
    const char *const env[] = {"STAND_IN_SHOW=stdin", nullptr};
    int error_number = 0;
    ASSERT_EQ(pex_run_stage_env(pipeline, 0, tool, argv, env, nullptr, nullptr, &error_number),
              nullptr);
    ASSERT_EQ(pex_run_stage_env(pipeline, PEX_FINAL_STAGE | PEX_BINARY_OUT, tool, argv, env,
                                output.c_str(), nullptr, &error_number),
              nullptr);
    std::fputs("data\n", input);
    std::fclose(input);
    bool ended = true;
    for (int i = 0; i < 2; ++i) {
        auto stage = reinterpret_cast<HANDLE>(static_cast<intptr_t>(pipeline->child_pids[i]));
        ended = WaitForSingleObject(stage, 10000) == WAIT_OBJECT_0 && ended;
    }
    int statuses[2] = {-1, -1};
    EXPECT_TRUE(ended) << "a stage never saw the end of its input";
    if (ended) {
        EXPECT_EQ(pex_get_status(pipeline, 2, statuses), 1);
    }
    pex_release(pipeline); // ends what still runs
    EXPECT_EQ(statuses[0] | statuses[1], 0);
    EXPECT_EQ(kit::read_file(output), "data\n");
    std::remove(output.c_str());
}

} // namespace
