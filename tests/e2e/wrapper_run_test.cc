// Running the tool: exit codes, signals, exec failures and what the tool
// inherits. The mapping of every status is unit-tested in
// tests/driver/exit_status_test.cc.
#include <csignal>
#include <cstring>
#include <sys/wait.h>

#include "testkit/files.h"
#include "testkit/wrapper_test.h"

namespace {

using namespace kit;

std::string signal_report(const std::string &tool, int signal_number, const char *core) {
    return tool + " terminated with signal " + std::to_string(signal_number) + " [" +
           strsignal(signal_number) + "]" + core + "\n";
}

TEST_F(WrapperTest, ExitCodesArePassedOn) {
    for (int code : {0, 3, 255}) {
        Launch launch = wrapper("zin-nm", {"a.o"});
        set_env(launch, "STAND_IN_EXIT", std::to_string(code));
        expect_run(launch, tool_output("nm", {"a.o"}), "", code);
    }
}

TEST_F(WrapperTest, ToolKilledBySignalIsReported) {
    Launch launch = wrapper("zin-ar", {"t"});
    set_env(launch, "STAND_IN_SIGNAL", std::to_string(SIGKILL));
    expect_run(launch, tool_output("ar", {"-t"}), signal_report(tree_.tool_dir + "ar", SIGKILL, ""),
               1);
}

TEST_F(WrapperTest, ToolDumpingCoreIsReportedSo) {
    // Whether a core is written depends on the machine (core_pattern, limits):
    // ask the stand-in alone first.
    Launch probe;
    probe.executable = built_programs().tool;
    probe.argv = {probe.executable};
    probe.cwd = scratch_;
    set_env(probe, "STAND_IN_SIGNAL", std::to_string(SIGQUIT));
    set_env(probe, "STAND_IN_CORE", "1");
    Outcome seen = run_program(probe);
    ASSERT_TRUE(WIFSIGNALED(seen.wait_status)) << seen.wait_status;
    if (!WCOREDUMP(seen.wait_status)) {
        GTEST_SKIP() << "this machine writes no core for SIGQUIT even with RLIMIT_CORE raised; "
                        "the \", core dumped\" text is covered by the exit-status unit test";
    }
    Launch launch = wrapper("zin-nm");
    set_env(launch, "STAND_IN_SIGNAL", std::to_string(SIGQUIT));
    set_env(launch, "STAND_IN_CORE", "1");
    std::string tool = tree_.tool_dir + "nm";
    expect_run(launch, tool_output("nm", {}), signal_report(tool, SIGQUIT, ", core dumped"), 1);
    // Without a core the message ends at the bracket.
    launch.env.pop_back();
    expect_run(launch, tool_output("nm", {}), signal_report(tool, SIGQUIT, ""), 1);
}

TEST_F(WrapperTest, ToolThatCannotBeExecutedIsReported) {
    // Executable by its mode bits, but its interpreter does not exist.
    std::string tool = tree_.tool_dir + "ar";
    write_file(tool, "#!/nonexistent/zin-test-interpreter\n", 0755);
    expect_run(wrapper("zin-ar", {"t"}), "", "Error running " + tool + ": execvp\n", 1);
}

TEST_F(WrapperTest, ToolSeesOnlyTheStandardDescriptors) {
    Launch launch = wrapper("zin-nm");
    set_env(launch, "STAND_IN_SHOW", "fds");
    expect_run(launch, fd_listing({0, 1, 2}), "", 0);
}

TEST_F(WrapperTest, ToolWritesToTheWrappersStandardError) {
    Launch launch = wrapper("zin-nm");
    set_env(launch, "STAND_IN_STDERR", "nm: warning\n");
    set_env(launch, "STAND_IN_EXIT", "2");
    expect_run(launch, tool_output("nm", {}), "nm: warning\n", 2);
}

} // namespace
