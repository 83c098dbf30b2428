// SPDX-License-Identifier: Apache-2.0
// The Win32 back end with real children: the stand-in tool (tests/tools).
#include "pex/pex_win32_backend.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <io.h>
#include <string>
#include <vector>
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include "pex/hygiene.h"
#include "support/support_platform_windows.h"
#include "testkit/files.h"

namespace {

const char *const tool = ZIN_TEST_STAND_IN_TOOL;

// A null-terminated vector of the strings given, which must outlive it.
std::vector<const char *> vector_of(const std::vector<std::string> &strings) {
    std::vector<const char *> result;
    for (const std::string &text : strings) {
        result.push_back(text.c_str());
    }
    result.push_back(nullptr);
    return result;
}

// What a child did.
struct ChildRun {
    pid_t pid = -1;
    int status = -1;
    std::string out;
    std::string err;
};

class Win32BackendTest : public HygieneTest {
  protected:
    void SetUp() override {
        HygieneTest::SetUp();
        pipeline_ = Pipeline{};
        pipeline_.program_name = "zin-test";
        pipeline_.backend = &pex_win32_backend;
    }

    // A pipe from the back end's slot; false on failure.
    bool make_pipe(int fds[2], int binary_mode = 1) {
        return pex_win32_backend.make_pipe(&pipeline_, fds, binary_mode) == 0;
    }

    pid_t spawn(int flags, const char *executable, const std::vector<std::string> &argv,
                const std::vector<std::string> &env, int in_fd = 0, int out_fd = 1,
                int err_fd = 2) {
        std::vector<const char *> args = vector_of(argv);
        std::vector<const char *> environment = vector_of(env);
        message_ = nullptr;
        error_number_ = -7;
        return pex_win32_spawn_child(&pipeline_, flags, executable, args.data(), environment.data(),
                                     in_fd, out_fd, err_fd, -1, &message_, &error_number_);
    }

    // The raw status of `pid`, waited for through the back end.
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
    ChildRun run(int flags, const char *executable, const std::vector<std::string> &argv,
                 const std::vector<std::string> &env) {
        ChildRun child;
        int out[2];
        int err[2];
        if (!make_pipe(out) || !make_pipe(err)) {
            ADD_FAILURE() << "pipe";
            return child;
        }
        child.pid = spawn(flags, executable, argv, env, 0, out[1], err[1]);
        child.out = kit::read_fd(out[0]);
        child.err = kit::read_fd(err[0]);
        _close(out[0]);
        _close(err[0]);
        if (child.pid != -1) {
            child.status = wait_for(child.pid);
        }
        return child;
    }

    Pipeline pipeline_{};
    const char *message_ = nullptr;
    int error_number_ = 0;
};

// argv as the stand-in prints it: each element on a line.
std::string lines(const std::vector<std::string> &argv) {
    std::string text;
    for (const std::string &argument : argv) {
        text += argument + "\n";
    }
    return text;
}

TEST_F(Win32BackendTest, ExitCodesComeBackWhole) {
    for (unsigned code : {0u, 3u, 300u, 0x12345678u, 0xFFFFFFFFu, 0xC0000005u}) {
        ChildRun child = run(0, tool, {"tool"}, {"STAND_IN_EXIT=" + std::to_string(code)});
        EXPECT_EQ(static_cast<unsigned>(child.status), code);
    }
}

// Vectors whose quoting is hard, and their trip through CommandLineToArgvW
// here and through the stand-in's own start-up.
TEST_F(Win32BackendTest, ArgumentVectorsArriveExactly) {
    const std::vector<std::vector<std::string>> vectors = {
        {"C:\\Program Files\\tool", "", "two words", "tab\there"},
        {"", "say \"hi\"", "\"", "a\\\"b", "a\\\\\"b", "end\\", "dir with space\\"},
        {"name", "\\\\server\\share", "x\\\\ y", "\"\"", "ελληνικά", "日本 語"},
    };
    for (const std::vector<std::string> &argv : vectors) {
        std::vector<const char *> args = vector_of(argv);
        char *line = pex_win32_command_line(args.data());
        wchar_t *wide = platform_utf8_to_wide(line);
        int count = 0;
        wchar_t **parsed = CommandLineToArgvW(wide, &count);
        std::vector<std::string> back;
        for (int i = 0; i < count; ++i) {
            char *argument = platform_wide_to_utf8(parsed[i]);
            back.push_back(argument);
            std::free(argument);
        }
        LocalFree(parsed);
        std::free(wide);
        EXPECT_EQ(back, argv) << line;
        std::free(line);
        EXPECT_EQ(run(0, tool, argv, {}).out, lines(argv));
    }
}

// A start that fails: how the executable is named, and the errno reported.
struct StartFailureRow {
    const char *name;
    int flags;
    const char *executable; // relative: made in the scratch directory
    int error_number;
};

const StartFailureRow start_failure_rows[] = {
    {"MissingPath", 0, "missing.exe", ENOENT},
    {"MissingBareName", PEX_PATH_SEARCH, "zin-no-such-program", ENOENT},
    {"NotAProgram", 0, "text.exe", ENOEXEC},
};

TEST_F(Win32BackendTest, FailedStartsReportAndCloseTheDescriptors) {
    ASSERT_TRUE(kit::write_file(scratch("text.exe"), "not a program\n"));
    for (const StartFailureRow &row : start_failure_rows) {
        SCOPED_TRACE(row.name);
        int in[2];
        int out[2];
        ASSERT_TRUE(make_pipe(in) && make_pipe(out));
        std::string executable = row.flags != 0 ? row.executable : scratch(row.executable);
        EXPECT_EQ(spawn(row.flags, executable.c_str(), {"x"}, {"PATH=" + scratch_directory()},
                        in[0], out[1]),
                  -1);
        EXPECT_STREQ(message_, "CreateProcess");
        EXPECT_EQ(error_number_, row.error_number);
        EXPECT_EQ(kit::read_fd(out[0]), "") << "the back end closed the writer";
        _close(in[1]);
        _close(out[0]);
    }
    std::remove(scratch("text.exe").c_str());
}

// The limit counts UTF-16 units with the NUL: `"tool" ` and 32759 more fit.
TEST_F(Win32BackendTest, CommandLineLimitInUtf16Units) {
    const std::string fits(32759, 'a');
    std::string greek_fits;
    for (std::size_t i = 0; i < fits.size(); ++i) {
        greek_fits += "α"; // two bytes, one unit
    }
    for (const std::string &argument : {fits, greek_fits}) {
        ChildRun child = run(0, tool, {"tool", argument}, {"STAND_IN_SHOW=size"});
        EXPECT_EQ(child.status, 0);
        EXPECT_EQ(child.out.rfind("argc 2 ", 0), 0u) << child.out;
    }
    int out[2];
    ASSERT_TRUE(make_pipe(out));
    EXPECT_EQ(spawn(0, tool, {"tool", fits + "a"}, {}, 0, out[1]), -1);
    EXPECT_STREQ(message_, "command line too long");
    EXPECT_EQ(error_number_, E2BIG);
    EXPECT_EQ(kit::read_fd(out[0]), "") << "nothing started, its end closed";
    _close(out[0]);
}

TEST_F(Win32BackendTest, MergedStandardError) {
    ChildRun child = run(PEX_MERGE_STDERR, tool, {"tool", "x"}, {"STAND_IN_STDERR=e:"});
    EXPECT_EQ(child.out, "e:tool\nx\n");
    EXPECT_EQ(child.err, "");
}

// Non-ASCII text in the environment block, in a program's path and in the
// name searched on PATH.
TEST_F(Win32BackendTest, NonAsciiEnvironmentAndNames) {
    const std::string text = "ελληνικά 日本語 ü";
    ChildRun child = run(0, tool, {"tool"}, {"STAND_IN_STDERR=" + text});
    EXPECT_EQ(child.err, text);

    const std::string directory = scratch("τόπος");
    wchar_t *wide_directory = platform_utf8_to_wide(directory.c_str());
    wchar_t *wide_tool = platform_utf8_to_wide(tool);
    std::string copy = directory + "\\工具.exe";
    wchar_t *wide_copy = platform_utf8_to_wide(copy.c_str());
    ASSERT_TRUE(CreateDirectoryW(wide_directory, nullptr));
    ASSERT_TRUE(CopyFileW(wide_tool, wide_copy, TRUE));
    EXPECT_EQ(run(0, copy.c_str(), {"工具", text}, {}).out, lines({"工具", text}));
    EXPECT_EQ(run(PEX_PATH_SEARCH, "工具", {"工具"}, {"PATH=C:\\nowhere;" + directory}).out,
              "工具\n");
    DeleteFileW(wide_copy);
    RemoveDirectoryW(wide_directory);
    std::free(wide_directory);
    std::free(wide_tool);
    std::free(wide_copy);
}

// The translation each slot applies, seen in the bytes that cross it.
TEST_F(Win32BackendTest, TextAndBinaryModes) {
    for (int binary : {0, 1}) {
        SCOPED_TRACE(binary);
        const std::string crossed = binary != 0 ? "a\nb" : "a\r\nb";
        int fds[2];
        ASSERT_TRUE(make_pipe(fds, binary));
        ASSERT_EQ(_write(fds[1], "a\nb", 3), 3);
        _close(fds[1]);
        _setmode(fds[0], _O_BINARY);
        EXPECT_EQ(kit::read_fd(fds[0]), crossed) << "pipe";
        _close(fds[0]);

        std::string name = scratch("αρχείο.txt");
        int fd = pex_win32_backend.open_for_write(&pipeline_, name.c_str(), binary, 0);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(_write(fd, "a\nb", 3), 3);
        _close(fd);
        fd = pex_win32_backend.open_for_read(&pipeline_, name.c_str(), 1);
        ASSERT_GE(fd, 0);
        EXPECT_EQ(kit::read_fd(fd), crossed) << "file";
        _close(fd);
        fd = pex_win32_backend.open_for_read(&pipeline_, name.c_str(), binary);
        std::FILE *stream = pex_win32_backend.read_stream_from_fd(&pipeline_, fd, binary);
        EXPECT_EQ(kit::read_stream(stream), "a\nb") << "read back in the same mode";
        std::fclose(stream);
        take_scratch_entries();
    }
}

TEST_F(Win32BackendTest, TimesAndTermination) {
    // A child blocked reading its input until ended.
    int in[2];
    ASSERT_TRUE(make_pipe(in));
    pid_t blocked = spawn(0, tool, {"tool"}, {"STAND_IN_SHOW=stdin"}, in[0]);
    ASSERT_NE(blocked, -1);
    EXPECT_EQ(static_cast<unsigned>(wait_for(blocked, 1)), pex_win32_terminated_exit_code);
    _close(in[1]);

    // A child already ended keeps its own code; its times are the system's.
    pid_t ended = spawn(0, tool, {"tool"}, {"STAND_IN_EXIT=5"});
    ASSERT_NE(ended, -1);
    auto handle = reinterpret_cast<HANDLE>(static_cast<intptr_t>(ended));
    HANDLE own;
    ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &own, 0, FALSE,
                                DUPLICATE_SAME_ACCESS));
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
}

// The input pipe's writer stays open while the second stage starts: only
// because that stage holds no copy of it does the first one see end of file.
TEST_F(Win32BackendTest, PipedPipelineEndsWhenItsInputCloses) {
    std::string output = scratch("out");
    Pipeline *pipeline = pex_create(PEX_INIT_PIPES, "zin-test", nullptr);
    ASSERT_EQ(pipeline->backend, &pex_win32_backend);
    std::FILE *input = pex_open_input_pipe(pipeline, 1);
    ASSERT_NE(input, nullptr);
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
    if (!ended) {
        pex_release(pipeline); // ends them
        std::remove(output.c_str());
        FAIL() << "a stage never saw the end of its input";
    }
    int statuses[2] = {-1, -1};
    ASSERT_EQ(pex_get_status(pipeline, 2, statuses), 1);
    EXPECT_EQ(statuses[0], 0);
    EXPECT_EQ(statuses[1], 0);
    pex_release(pipeline);
    EXPECT_EQ(kit::read_file(output), "data\n");
    std::remove(output.c_str());
}

} // namespace
