// Running the tool: exit codes, signals, exec failures and what the tool inherits.
#include <csignal>
#include <sys/wait.h>

#include "e2e/e2e_support.h"

namespace e2e {
namespace {

TEST_F(WrapperTest, ExitCodesArePassedOn) {
    for (int code : {0, 3, 255}) {
        Command command = wrapper("zin-nm", {"a.o"});
        set_env(command, "STAND_IN_EXIT", std::to_string(code));
        expect_run(command, tool_output("nm", {"a.o"}), "", code);
    }
}

TEST_F(WrapperTest, EveryExitCodeIsPassedOn) {
    Command command = wrapper("zin-ranlib");
#ifdef ZIN_E2E_SANITIZED
    // A sanitized start costs a quarter second: every fifth code, and 255.
    constexpr int stride = 5;
#else
    constexpr int stride = 1;
#endif
    for (int code = 0; code <= 255; code += stride) {
        command.env.clear();
        set_env(command, "PATH", scratch_ + "/no-such-directory");
        set_env(command, "STAND_IN_EXIT", std::to_string(code));
        SCOPED_TRACE(describe_command(command));
        Outcome outcome = run_command(command);
        ASSERT_EQ(code, exit_code(outcome));
        ASSERT_EQ("", outcome.err);
    }
}

// Runs `command`, whose tool dies of a signal, and checks the wrapper's report:
// "<head><description><tail>" on one line, status 1. The description is the
// C library's strsignal text, whose words differ between C libraries (the
// wrappers may use musl, this test glibc): only its presence is checked
// here; its text is checked by the exit-status unit test, against one library.
void expect_signal_report(const Command &command, const std::string &out, const std::string &head,
                          const std::string &tail) {
    SCOPED_TRACE(describe_command(command));
    Outcome outcome = run_command(command);
    const std::string &err = outcome.err;
    EXPECT_EQ(out, outcome.out);
    EXPECT_TRUE(err.starts_with(head) && err.ends_with(tail) &&
                err.size() > head.size() + tail.size() && err.find('\n') + 1 == err.size())
        << err;
    EXPECT_EQ(1, exit_code(outcome)) << "raw wait status " << outcome.wait_status;
}

TEST_F(WrapperTest, ToolKilledBySignalIsReported) {
    Command command = wrapper("zin-ar", {"t"});
    set_env(command, "STAND_IN_SIGNAL", std::to_string(SIGKILL));
    std::string tool = tree_.tool_dir + "ar";
    expect_signal_report(command, tool_output("ar", {"-t"}),
                         tool + " terminated with signal " + std::to_string(SIGKILL) + " [", "]\n");
}

TEST_F(WrapperTest, ToolDumpingCoreIsReportedSo) {
    // Whether a core is written depends on the machine (core_pattern, limits):
    // ask the stand-in alone first.
    Command probe;
    probe.executable = built_program("stand_in_tool");
    probe.argv = {probe.executable};
    probe.cwd = scratch_;
    set_env(probe, "STAND_IN_SIGNAL", std::to_string(SIGQUIT));
    set_env(probe, "STAND_IN_CORE", "1");
    Outcome seen = run_command(probe);
    ASSERT_TRUE(WIFSIGNALED(seen.wait_status)) << seen.wait_status;
    if (!WCOREDUMP(seen.wait_status)) {
        GTEST_SKIP() << "this machine writes no core for SIGQUIT even with RLIMIT_CORE raised; "
                        "the \", core dumped\" text is covered by the exit-status unit test";
    }
    Command command = wrapper("zin-nm");
    set_env(command, "STAND_IN_SIGNAL", std::to_string(SIGQUIT));
    set_env(command, "STAND_IN_CORE", "1");
    std::string head =
        tree_.tool_dir + "nm terminated with signal " + std::to_string(SIGQUIT) + " [";
    expect_signal_report(command, tool_output("nm", {}), head, "], core dumped\n");
    // Without a core the message ends at the bracket.
    command.env.pop_back();
    expect_signal_report(command, tool_output("nm", {}), head, "]\n");
}

TEST_F(WrapperTest, ToolThatCannotBeExecutedIsReported) {
    // Executable by its mode bits, but its interpreter does not exist.
    std::string tool = tree_.tool_dir + "ar";
    write_file(tool, "#!/nonexistent/zin-test-interpreter\n", 0755);
    expect_run(wrapper("zin-ar", {"t"}), "", "Error running " + tool + ": execvp\n", 1);
}

TEST_F(WrapperTest, ToolSeesOnlyTheStandardDescriptors) {
    Command command = wrapper("zin-nm");
    set_env(command, "STAND_IN_LIST_FDS", "1");
    expect_run(command, "fd 0\nfd 1\nfd 2\n", "", 0);
}

TEST_F(WrapperTest, ToolWritesToTheWrappersStandardError) {
    Command command = wrapper("zin-nm");
    set_env(command, "STAND_IN_STDERR", "nm: warning\n");
    set_env(command, "STAND_IN_EXIT", "2");
    expect_run(command, tool_output("nm", {}), "nm: warning\n", 2);
}

} // namespace
} // namespace e2e
