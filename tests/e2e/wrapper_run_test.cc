// SPDX-License-Identifier: Apache-2.0
// Running the tool: exit codes, signals, exec failures and what the tool
// inherits. The mapping of every status is unit-tested in
// tests/driver/exit_status_test.cc.
#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "testkit/files.h"
#include "testkit/wrapper_test.h"

namespace {

using namespace kit;

TEST_F(WrapperTest, ExitCodesArePassedOn) {
    for (int code : {0, 3, 255}) {
        expect_run(wrapper("zin-nm", {"a.o"}, {{"STAND_IN_EXIT", std::to_string(code)}}),
                   tool_output("nm", {"a.o"}), "", code);
    }
}

// Runs `command`, whose tool dies of a signal, and checks the wrapper's report:
// "<head><description><tail>" on one line, status 1. The description is the
// C library's strsignal text, whose words differ between C libraries (the
// wrappers may use musl, this test glibc): only its presence is checked
// here; its text is checked by the exit-status unit test, against one library.
void expect_signal_report(const Launch &launch, const std::string &out, const std::string &tool,
                          int signal_number, const std::string &tail) {
    SCOPED_TRACE(describe(launch));
    Outcome outcome = run_program(launch);
    const std::string &err = outcome.err;
    std::string head = tool + " terminated with signal " + std::to_string(signal_number) + " [";
    EXPECT_EQ(out, outcome.out);
    EXPECT_TRUE(err.starts_with(head) && err.ends_with(tail) &&
                err.size() > head.size() + tail.size() && err.find('\n') + 1 == err.size())
        << err;
    EXPECT_EQ(1, exit_code(outcome.wait_status)) << "raw wait status " << outcome.wait_status;
}

TEST_F(WrapperTest, ToolKilledBySignalIsReported) {
    expect_signal_report(wrapper("zin-ar", {"t"}, {{"STAND_IN_SIGNAL", std::to_string(SIGKILL)}}),
                         tool_output("ar", {"-t"}), tree_.tool_dir + "ar", SIGKILL, "]\n");
}

TEST_F(WrapperTest, ToolDumpingCoreIsReportedSo) {
    // Whether a core is written depends on the machine (core_pattern, limits):
    // ask the stand-in alone first.
    const std::vector<EnvChange> core = {{"STAND_IN_SIGNAL", std::to_string(SIGQUIT)},
                                         {"STAND_IN_CORE", "1"}};
    const std::string &stand_in = built_programs().tool;
    Outcome seen =
        run_program({.executable = stand_in, .argv = {stand_in}, .env = core, .cwd = scratch_});
    ASSERT_TRUE(WIFSIGNALED(seen.wait_status)) << seen.wait_status;
    if (!WCOREDUMP(seen.wait_status)) {
        GTEST_SKIP() << "this machine writes no core for SIGQUIT even with RLIMIT_CORE raised; "
                        "the \", core dumped\" text is covered by the exit-status unit test";
    }
    Launch launch = wrapper("zin-nm", {}, core);
    std::string tool = tree_.tool_dir + "nm";
    expect_signal_report(launch, tool_output("nm", {}), tool, SIGQUIT, "], core dumped\n");
    // Without a core the message ends at the bracket.
    launch.env.pop_back();
    expect_signal_report(launch, tool_output("nm", {}), tool, SIGQUIT, "]\n");
}

// Executable by its mode bits, but nothing the kernel runs: never handed to
// /bin/sh as a script, whatever the C library's execvp would do.
TEST_F(WrapperTest, ToolThatCannotBeExecutedIsReported) {
    std::string tool = tree_.tool_dir + "ar";
    for (const std::string &content :
         {std::string("#!/nonexistent/zin-test-interpreter\n"), std::string(),
          std::string("\x7f"
                      "ELF\x02\x01\x01",
                      7)}) {
        write_file(tool, content, 0755);
        expect_run(wrapper("zin-ar", {"t"}), "", "Error running " + tool + ": execvp\n", 1);
    }
}

// An ignored SIGCHLD passes through exec; the tool's real status still comes back.
TEST_F(WrapperTest, CallerIgnoringSigchldGetsTheToolsStatus) {
    Launch launch = wrapper("zin-nm", {}, {{"STAND_IN_EXIT", "3"}});
    launch.ignore_sigchld = true;
    expect_run(launch, tool_output("nm", {}), "", 3);
}

TEST_F(WrapperTest, ToolReadsTheWrappersStandardInput) {
    std::string script = "CREATE lib.a\nADDMOD a.o\nSAVE\n";
    write_file(at("script"), script);
    int fd = open(at("script").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    Launch launch = wrapper("zin-ar", {"-M"}, {{"STAND_IN_SHOW", "stdin"}});
    launch.stdin_fd = fd;
    expect_run(launch, script, "", 0);
    close(fd);
}

TEST_F(WrapperTest, ToolSeesOnlyTheStandardDescriptors) {
    expect_run(wrapper("zin-nm", {}, {{"STAND_IN_SHOW", "fds"}}), fd_listing({0, 1, 2}), "", 0);
}

TEST_F(WrapperTest, ToolWritesToTheWrappersStandardError) {
    expect_run(
        wrapper("zin-nm", {}, {{"STAND_IN_STDERR", "nm: warning\n"}, {"STAND_IN_EXIT", "2"}}),
        tool_output("nm", {}), "nm: warning\n", 2);
}

} // namespace
