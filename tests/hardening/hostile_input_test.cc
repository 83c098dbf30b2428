// SPDX-License-Identifier: Apache-2.0
// Hostile input and surroundings: an argument vector at the system's limit,
// huge PATH values, odd bytes and empty strings, unusable temporary
// directories, closed standard descriptors, a tool or a reader that goes away.
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "driver/build_config.h"
#include "hardening/hardening_test.h"
#include "testkit/files.h"

extern char **environ;

namespace {

using namespace kit;

class HostileTest : public HardeningTest {
  protected:
    std::string tool(const char *name) const { return tree_.tool_dir + name; }
};

// Bytes of an execve argument or environment vector: the strings with their
// NULs and one pointer each, as the kernel counts them against ARG_MAX.
std::size_t vector_bytes(const std::vector<std::string> &strings) {
    std::size_t bytes = 0;
    for (const std::string &text : strings) {
        bytes += text.size() + 1 + sizeof(char *);
    }
    return bytes;
}

std::size_t environment_bytes() {
    std::vector<std::string> strings;
    for (char **entry = environ; *entry != nullptr; ++entry) {
        strings.emplace_back(*entry);
    }
    return vector_bytes(strings);
}

TEST_F(HostileTest, ArgumentVectorAtTheSystemLimit) {
    long arg_max = sysconf(_SC_ARG_MAX);
    ASSERT_GT(arg_max, 0);
    Launch below = wrapper("zin-nm", {}, {{"STAND_IN_SHOW", "size"}});
    // Arguments of 1000 bytes up to 16 KiB below the limit: all reach the tool.
    std::size_t budget = static_cast<std::size_t>(arg_max) - environment_bytes() - 16384;
    std::string chunk(1000, 'a');
    while (vector_bytes(below.argv) + chunk.size() + 1 + sizeof(char *) < budget) {
        below.argv.push_back(chunk);
    }
    std::size_t wrapper_bytes = vector_bytes(below.argv) - sizeof(char *) * below.argv.size();
    std::size_t tool_bytes = wrapper_bytes - below.argv[0].size() + tool("nm").size() +
                             sizeof "--plugin" + tree_plugin(tree_).size() + 1;
    Outcome outcome = run_program(below);
    EXPECT_EQ(outcome.out, "argc " + std::to_string(below.argv.size() + 2) + " bytes " +
                               std::to_string(tool_bytes) + "\n");
    EXPECT_EQ(outcome.err, "");
    EXPECT_EQ(exit_code(outcome.wait_status), 0);

    // The longest last argument with which the wrapper still starts: the tool's
    // vector, longer by the plugin option, cannot be passed on.
    auto with_last = [&](std::size_t length) {
        Launch launch = below;
        launch.argv.push_back(std::string(length, 'b'));
        return launch;
    };
    auto starts = [&](std::size_t length) {
        return exit_code(run_program(with_last(length)).wait_status) != 127;
    };
    std::size_t low = 0;
    std::size_t high = 64 * 1024;
    ASSERT_TRUE(starts(low));
    ASSERT_FALSE(starts(high)) << "ARG_MAX " << arg_max << " was not reached";
    while (high - low > 1) {
        std::size_t middle = (low + high) / 2;
        (starts(middle) ? low : high) = middle;
    }
    expect_run(with_last(low), "", "Error running " + tool("nm") + ": execvp\n", 1);
}

// 100,000 entries fit in one environment string (at most 128 KiB on Linux)
// when most are empty. The wrapper, started by its bare name, finds itself
// through PATH, and finds the tool (gone from the tree) there too.
TEST_F(HostileTest, PathOfAHundredThousandEntries) {
    ASSERT_EQ(unlink(tool("nm").c_str()), 0);
    std::string last = at("last");
    provide(last + "/", "nm", false);
    // A symbolic link would be resolved back into the tree: a second name is enough.
    ASSERT_EQ(link((tree_.bin_dir + "zin-nm").c_str(), (last + "/zin-nm").c_str()), 0);
    std::string path(99999, ':');
    path += tree_.bin_dir;
    path.pop_back(); // no trailing '/': the entry still names the directory
    path += ":" + last;
    Launch launch = wrapper("zin-nm", {"a.o"}, {{"PATH", path}, {"STAND_IN_EXIT", "4"}});
    launch.argv[0] = "zin-nm";
    expect_run(launch, lines({last + "/nm", "--plugin", tree_plugin(tree_), "a.o"}), "", 4);
}

// Odd bytes where a directory or a program path is named: the tool is found
// where the value says. (A -B directory too long for any path is in the
// end-to-end tests.)
TEST_F(HostileTest, OddBytesInDirectoriesAndPrefixes) {
    const std::string odd = "\xff\xfe\x80 \xe9\x01";
    // -B naming a directory with odd bytes that holds plugin and tool.
    std::string b_dir = at("b" + odd);
    provide(b_dir + "/", "nm");
    expect_run(wrapper("zin-nm", {"-B", b_dir, odd}),
               lines({b_dir + "/nm", "--plugin", b_dir + "/" + plugin_file_name, odd}), "", 0);

    // PATH with an entry of odd bytes, empty entries and one that holds the
    // tool, which the tree no longer has.
    std::string p_dir = at("p" + odd);
    provide(p_dir + "/", "ranlib", false);
    ASSERT_EQ(unlink(tool("ranlib").c_str()), 0);
    expect_run(wrapper("zin-ranlib", {""}, {{"PATH", odd + "::" + p_dir + ":"}}),
               lines({p_dir + "/ranlib", "--plugin", tree_plugin(tree_), ""}), "", 0);

    // ZIN_EXEC_PREFIX naming a second tree whose path has odd bytes.
    InstallTree other = build_install_tree(at("t" + odd), built_programs());
    expect_run(wrapper("zin-ar", {"t"}, {{"ZIN_EXEC_PREFIX", other.bin_dir}}),
               lines({other.tool_dir + "ar", "--plugin", tree_plugin(other), "-t"}), "", 0);
}

// The wrappers make no temporary file: whatever TMPDIR, TMP and TEMP name,
// the run is the same and leaves nothing anywhere.
TEST_F(HostileTest, UnusableTemporaryDirectories) {
    std::string file = at("a-file");
    write_file(file, "");
    std::string locked = at("locked");
    make_dirs(locked);
    ASSERT_EQ(chmod(locked.c_str(), 0555), 0);
    ASSERT_EQ(chmod(at("cwd").c_str(), 0777), 0);
    struct Row {
        const char *what;
        std::string value;
        bool as_nobody;
    };
    const Row rows[] = {{"a regular file", file, false},
                        {"a directory nobody may write (as uid 65534)", locked, true},
                        {"a directory that does not exist", at("gone"), false}};
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        Launch launch = wrapper("zin-nm", {"a.o"},
                                {{"TMPDIR", row.value},
                                 {"TMP", row.value},
                                 {"TEMP", row.value},
                                 {"STAND_IN_EXIT", "9"}});
        launch.as_nobody = row.as_nobody;
        expect_run(launch, tool_output("nm", {"a.o"}), "", 9);
        EXPECT_TRUE(entries(locked).empty());
    }
}

// Started with some of its standard descriptors closed, the wrapper's error
// report pipe may land on them. The tool must get exactly the descriptors
// the wrapper had, and a failed exec must still be reported (status 1, not
// the 255 of a report that never arrived).
TEST_F(HostileTest, ClosedStandardDescriptors) {
    std::string listing = at("fds");
    std::string broken = at("broken");
    make_dirs(broken);
    write_file(broken + "/nm", "#!/nonexistent/zin-interpreter\n", 0755);
    write_file(broken + "/" + plugin_file_name, "");
    for (int closed = 1; closed < 8; ++closed) {
        SCOPED_TRACE("closed mask " + std::to_string(closed));
        std::vector<int> open_fds;
        Launch launch =
            wrapper("zin-nm", {}, {{"STAND_IN_FDS_TO", listing}, {"STAND_IN_EXIT", "5"}});
        for (int fd = 0; fd < 3; ++fd) {
            launch.closed[fd] = (closed & (1 << fd)) != 0;
            if (!launch.closed[fd]) {
                open_fds.push_back(fd);
            }
        }
        std::remove(listing.c_str());
        EXPECT_EQ(exit_code(run_program(launch).wait_status), 5);
        EXPECT_EQ(read_file(listing), fd_listing(open_fds));

        launch.argv.insert(launch.argv.end(), {"-B", broken});
        Outcome outcome = run_program(launch);
        EXPECT_EQ(exit_code(outcome.wait_status), 1);
        EXPECT_EQ(outcome.err, launch.closed[2] ? "" : "Error running " + broken + "/nm: execvp\n");
    }
}

TEST_F(HostileTest, ToolClosingItsOutputEarly) {
    expect_run(
        wrapper("zin-ar", {"t", "x.a"}, {{"STAND_IN_CLOSE_STDOUT", "1"}, {"STAND_IN_EXIT", "7"}}),
        "", "", 7);
}

// The wrapper's output goes to a reader that takes one byte and leaves, as
// `head -c1` does, while the tool writes without end. With SIGPIPE at its
// default the tool dies of it and the wrapper says so; with SIGPIPE ignored
// by the caller the tool sees EPIPE and its own status is passed on.
TEST_F(HostileTest, ReaderLeavingEarly) {
    if (ZIN_CROSS_EMULATED) {
        GTEST_SKIP() << "qemu-user does not carry an ignored SIGPIPE through an emulated exec";
    }
    for (bool ignored : {false, true}) {
        SCOPED_TRACE(ignored ? "SIGPIPE ignored" : "SIGPIPE default");
        Launch launch = wrapper("zin-nm", {}, {{"STAND_IN_FLOOD", "1"}});
        launch.ignore_sigpipe = ignored;
        int fds[2];
        ASSERT_EQ(pipe2(fds, O_CLOEXEC), 0);
        std::string err_path = at("err");
        launch.stderr_fd = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        ASSERT_GE(launch.stderr_fd, 0);
        launch.stdout_fd = fds[1];
        pid_t pid = start_program(launch);
        close(fds[1]);
        close(launch.stderr_fd);
        char byte;
        EXPECT_EQ(read(fds[0], &byte, 1), 1);
        close(fds[0]);
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status)) << "the wrapper itself must not die of SIGPIPE: " << status;
        if (ignored) {
            EXPECT_EQ(WEXITSTATUS(status), 42);
            EXPECT_EQ(read_file(err_path), "");
        } else {
            EXPECT_EQ(WEXITSTATUS(status), 1);
            // In brackets the C library's description, whose words vary by library.
            std::string err = read_file(err_path);
            std::string head =
                tool("nm") + " terminated with signal " + std::to_string(SIGPIPE) + " [";
            EXPECT_TRUE(err.starts_with(head) && err.ends_with("]\n") &&
                        err.size() > head.size() + 2)
                << err;
        }
    }
}

} // namespace
