// Hostile input and surroundings: an argument vector at the system's limit,
// huge PATH values, odd bytes and empty strings, unusable temporary
// directories, closed standard descriptors, a tool or a reader that goes away.
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "driver/build_config.h"
#include "hardening/hardening_support.h"
#include "lookup/relocated_prefix.h"
#include "lookup/search_list.h"
#include "pex/pex.h"
#include "support/temp_file.h"

extern char **environ;

namespace hardening {
namespace {

class HostileTest : public e2e::WrapperTest {
  protected:
    void SetUp() override {
        WrapperTest::SetUp();
        subreaper_ = become_subreaper();
        install_probe(tree_);
        e2e::make_dirs(scratch_ + "/cwd");
    }

    void TearDown() override {
        if (subreaper_) {
            EXPECT_TRUE(reap_leftovers(0).empty()) << "a process was left behind";
        }
        WrapperTest::TearDown();
    }

    bool subreaper_ = false; // whether leftover processes can be seen

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
    e2e::Command base = wrapper("zin-nm");
    e2e::set_env(base, "PROBE_ARGS", "1");
    // Arguments of 1000 bytes up to 16 KiB below the limit: all reach the tool.
    std::size_t budget = static_cast<std::size_t>(arg_max) - environment_bytes() - 16384;
    e2e::Command below = base;
    std::string chunk(1000, 'a');
    while (vector_bytes(below.argv) + chunk.size() + 1 + sizeof(char *) < budget) {
        below.argv.push_back(chunk);
    }
    std::size_t wrapper_bytes = vector_bytes(below.argv) - sizeof(char *) * below.argv.size();
    std::size_t tool_bytes = wrapper_bytes - below.argv[0].size() + tool("nm").size() +
                             sizeof "--plugin" + e2e::tree_plugin(tree_).size() + 1;
    Launch how;
    how.command = below;
    Finished finished = launch(how);
    EXPECT_EQ(finished.out, "argc " + std::to_string(below.argv.size() + 2) + " bytes " +
                                std::to_string(tool_bytes) + "\n");
    EXPECT_EQ(finished.err, "");
    EXPECT_EQ(exit_code(finished), 0);

    // The longest last argument with which the wrapper still starts: the tool's
    // vector, longer by the plugin option, cannot be passed on.
    auto starts = [&](std::size_t length) {
        Launch probe;
        probe.command = below;
        probe.command.argv.push_back(std::string(length, 'b'));
        Finished outcome = launch(probe);
        return exit_code(outcome) != 127;
    };
    std::size_t low = 0;
    std::size_t high = 64 * 1024;
    ASSERT_TRUE(starts(low));
    ASSERT_FALSE(starts(high)) << "ARG_MAX " << arg_max << " was not reached";
    while (high - low > 1) {
        std::size_t middle = (low + high) / 2;
        (starts(middle) ? low : high) = middle;
    }
    Launch edge;
    edge.command = below;
    edge.command.argv.push_back(std::string(low, 'b'));
    finished = launch(edge);
    EXPECT_EQ(finished.out, "");
    EXPECT_EQ(finished.err, "Error running " + tool("nm") + ": execvp\n");
    EXPECT_EQ(exit_code(finished), 1);
}

// 100,000 entries fit in one environment string (at most 128 KiB on Linux)
// when most are empty. The wrapper, started by its bare name, finds itself
// through PATH, and finds the tool (gone from the tree) there too.
TEST_F(HostileTest, PathOfAHundredThousandEntries) {
    ASSERT_EQ(unlink(tool("nm").c_str()), 0);
    std::string last = scratch_ + "/last";
    e2e::make_dirs(last);
    e2e::copy_file(probe_tool(), last + "/nm", 0755);
    // A symbolic link would be resolved back into the tree: a second name is enough.
    ASSERT_EQ(link((tree_.bin_dir + "zin-nm").c_str(), (last + "/zin-nm").c_str()), 0);
    std::string path(99999, ':');
    path += tree_.bin_dir;
    path.pop_back(); // no trailing '/': the entry still names the directory
    path += ":" + last;
    e2e::Command command = wrapper("zin-nm");
    command.argv[0] = "zin-nm";
    command.cwd = scratch_ + "/cwd";
    e2e::set_env(command, "PATH", path);
    e2e::set_env(command, "PROBE_EXIT", "4");
    Launch how;
    how.command = command;
    Finished finished = launch(how);
    EXPECT_EQ(finished.err, "");
    EXPECT_EQ(exit_code(finished), 4);
}

// A PATH of 1 MiB cannot reach a program through execve (one string may not
// exceed 128 KiB on Linux), so the lookup code gets it directly.
TEST_F(HostileTest, PathOfOneMebibyteInProcess) {
    std::string dir = scratch_ + "/found";
    e2e::make_dirs(dir);
    e2e::copy_file(probe_tool(), dir + "/zin-ar", 0755);
    std::string path;
    int entries_made = 0;
    while (path.size() < (1u << 20)) {
        path += "/nonexistent/zin-hostile-" + std::to_string(entries_made++) + ":";
    }
    path += dir;
    const char *saved = std::getenv("PATH");
    std::string saved_path = saved != nullptr ? saved : "";
    ASSERT_EQ(setenv("PATH", path.c_str(), 1), 0);

    SearchList list{};
    search_list_from_env("PATH", &list);
    int count = 0;
    for (SearchListEntry *entry = list.head; entry != nullptr; entry = entry->next) {
        ++count;
    }
    char *found = search_list_find(&list, "zin-ar", X_OK);
    char *relocated =
        compute_relocated_prefix("zin-ar", "/usr/local/bin/", "/usr/local/lib/zin13/zin/", 0);
    ASSERT_EQ(setenv("PATH", saved_path.c_str(), 1), 0);
    EXPECT_EQ(count, entries_made + 1);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(std::string(found), dir + "/zin-ar");
    ASSERT_NE(relocated, nullptr);
    EXPECT_EQ(std::string(relocated), dir + "/../lib/zin13/zin/");
    std::free(found);
    std::free(relocated);
    while (list.head != nullptr) {
        SearchListEntry *next = list.head->next;
        std::free(list.head->prefix);
        std::free(list.head);
        list.head = next;
    }
}

// Odd bytes and extreme lengths where a directory or a program path is
// named: the tool is found where the value says, or the tree is used.
TEST_F(HostileTest, OddBytesInDirectoriesAndPrefixes) {
    const std::string odd = "\xff\xfe\x80 \xe9\x01";
    // -B naming a directory with odd bytes that holds plugin and tool.
    std::string b_dir = scratch_ + "/b" + odd;
    e2e::make_dirs(b_dir);
    e2e::write_file(b_dir + "/" + plugin_file_name, "", 0644);
    e2e::copy_file(e2e::built_program("stand_in_tool"), b_dir + "/nm", 0755);
    e2e::expect_run(wrapper("zin-nm", {"-B", b_dir, odd}),
                    e2e::lines({b_dir + "/nm", "--plugin", b_dir + "/" + plugin_file_name, odd}),
                    "", 0);

    // -B of 4 KiB: longer than a path may be, so every lookup there fails and
    // the tree is used.
    std::string long_dir = scratch_;
    while (long_dir.size() < 4096) {
        long_dir += "/" + std::string(200, 'd');
    }
    e2e::Command long_b = wrapper("zin-nm", {"-B" + long_dir});
    e2e::set_env(long_b, "PROBE_EXIT", "6");
    EXPECT_EQ(exit_code(launch(Launch{long_b})), 6);

    // PATH with an entry of odd bytes, empty entries and one that holds the
    // tool, which the tree no longer has.
    std::string p_dir = scratch_ + "/p" + odd;
    e2e::make_dirs(p_dir);
    e2e::copy_file(e2e::built_program("stand_in_tool"), p_dir + "/ranlib", 0755);
    ASSERT_EQ(unlink(tool("ranlib").c_str()), 0);
    e2e::Command from_path = wrapper("zin-ranlib", {""});
    e2e::set_env(from_path, "PATH", odd + "::" + p_dir + ":");
    e2e::expect_run(
        from_path, e2e::lines({p_dir + "/ranlib", "--plugin", e2e::tree_plugin(tree_), ""}), "", 0);

    // ZIN_EXEC_PREFIX naming a second tree whose path has odd bytes.
    e2e::InstallTree other = e2e::build_install_tree(scratch_ + "/t" + odd);
    e2e::Command prefixed = wrapper("zin-ar", {"t"});
    e2e::set_env(prefixed, "ZIN_EXEC_PREFIX", other.bin_dir);
    e2e::expect_run(prefixed,
                    e2e::lines({other.tool_dir + "ar", "--plugin", e2e::tree_plugin(other), "-t"}),
                    "", 0);
}

// The wrappers make no temporary file: whatever TMPDIR, TMP and TEMP name,
// the run is the same and leaves nothing anywhere.
TEST_F(HostileTest, UnusableTemporaryDirectories) {
    std::string file = scratch_ + "/a-file";
    e2e::write_file(file, "", 0644);
    std::string locked = scratch_ + "/locked";
    e2e::make_dirs(locked);
    ASSERT_EQ(chmod(locked.c_str(), 0555), 0);
    struct Case {
        const char *what;
        std::string value;
        bool as_nobody;
    };
    const Case cases[] = {{"a regular file", file, false},
                          {"a directory nobody may write (as uid 65534)", locked, true},
                          {"a directory that does not exist", scratch_ + "/gone", false}};
    for (const Case &each : cases) {
        SCOPED_TRACE(each.what);
        Launch how;
        how.command = wrapper("zin-nm", {"a.o"});
        how.command.cwd = scratch_ + "/cwd";
        ASSERT_EQ(chmod(how.command.cwd.c_str(), 0777), 0);
        for (const char *name : {"TMPDIR", "TMP", "TEMP"}) {
            e2e::set_env(how.command, name, each.value);
        }
        e2e::set_env(how.command, "PROBE_EXIT", "9");
        how.as_nobody = each.as_nobody;
        Finished finished = launch(how);
        EXPECT_EQ(finished.err, "");
        EXPECT_EQ(exit_code(finished), 9);
        EXPECT_TRUE(entries(locked).empty());
        EXPECT_TRUE(entries(scratch_ + "/cwd").empty());
    }
}

// The pipeline's temporary directory vanishes after it was chosen: the next
// temporary file cannot be made, which ends the program with the message.
TEST_F(HostileTest, TemporaryDirectoryThatDisappears) {
    if (ZIN_CROSS_EMULATED) {
        GTEST_SKIP() << "qemu-user adds its own line about the abort to the checked output";
    }
    std::string dir = scratch_ + "/vanishing";
    std::string log = scratch_ + "/log";
    pid_t pid = fork();
    if (pid == 0) {
        int log_fd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (mkdir(dir.c_str(), 0755) != 0 || setenv("TMPDIR", dir.c_str(), 1) != 0 || log_fd < 0 ||
            dup2(log_fd, 2) < 0) {
            _exit(90);
        }
        temp_directory();
        rmdir(dir.c_str());
        Pipeline *pipeline = pex_create(0, "zin-test", nullptr);
        const char *const argv[] = {"true", nullptr};
        int error_number = 0;
        pex_run_stage(pipeline, PEX_PATH_SEARCH, "true", argv, nullptr, nullptr, &error_number);
        _exit(91);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFSIGNALED(status)) << status;
    EXPECT_EQ(WTERMSIG(status), SIGABRT);
    EXPECT_EQ(read_text(log),
              "Cannot create temporary file in " + dir + "/: " + std::strerror(ENOENT) + "\n");
}

// Started with some of its standard descriptors closed, the wrapper's error
// report pipe may land on them. The tool must get exactly the descriptors
// the wrapper had, and a failed exec must still be reported (status 1, not
// the 255 of a report that never arrived).
TEST_F(HostileTest, ClosedStandardDescriptors) {
    std::string listing = scratch_ + "/fds";
    std::string broken = scratch_ + "/broken";
    e2e::make_dirs(broken);
    e2e::write_file(broken + "/nm", "#!/nonexistent/zin-interpreter\n", 0755);
    for (int closed = 1; closed < 8; ++closed) {
        SCOPED_TRACE("closed mask " + std::to_string(closed));
        std::vector<int> open_fds;
        Launch how;
        for (int fd = 0; fd < 3; ++fd) {
            how.closed[fd] = (closed & (1 << fd)) != 0;
            if (!how.closed[fd]) {
                open_fds.push_back(fd);
            }
        }
        how.command = wrapper("zin-nm");
        e2e::set_env(how.command, "PROBE_FDS_TO", listing);
        e2e::set_env(how.command, "PROBE_EXIT", "5");
        std::remove(listing.c_str());
        Finished finished = launch(how);
        EXPECT_EQ(exit_code(finished), 5);
        EXPECT_EQ(read_text(listing), fd_listing(open_fds));

        how.command = wrapper("zin-nm", {"-B", broken});
        e2e::write_file(broken + "/" + plugin_file_name, "", 0644);
        finished = launch(how);
        EXPECT_EQ(exit_code(finished), 1);
        EXPECT_EQ(finished.err, how.closed[2] ? "" : "Error running " + broken + "/nm: execvp\n");
    }
}

// The same one level down, for a stage whose output is redirected while the
// caller's standard input and output are closed: the report pipe then takes
// descriptors 0 and 1, and putting the output on 1 must not swallow it.
TEST_F(HostileTest, ClosedStandardDescriptorsUnderAStage) {
    std::string out = scratch_ + "/out";
    std::string listing = scratch_ + "/listing";
    std::string verdict = scratch_ + "/verdict";
    pid_t pid = fork();
    if (pid == 0) {
        // Nothing of the test's own may reach the stages; the files are
        // opened while 0 and 1 are still taken, so they sit above 2.
        close_range(3, ~0U, 0);
        int out_fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int listing_fd = open(listing.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int verdict_fd = open(verdict.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (out_fd < 3 || listing_fd < 3 || verdict_fd < 3) {
            _exit(90);
        }
        close(0);
        close(1);
        Pipeline pipeline{};
        pipeline.program_name = "zin-test";
        pipeline.backend = &pex_unix_backend;
        const char *message = nullptr;
        int error_number = 0;
        const char *const missing[] = {"zin-missing", nullptr};
        pid_t failed = pex_unix_spawn_child(&pipeline, 0, "/nonexistent/zin-missing", missing,
                                            nullptr, 0, out_fd, 2, -1, &message, &error_number);
        std::string text = std::to_string(failed) + " " + (message != nullptr ? message : "-") +
                           " " + std::to_string(error_number);
        // A stage that runs sees its output on 1, 0 closed like its caller's.
        const char *const probe[] = {"probe", nullptr};
        const char *const env[] = {"PROBE_FDS=1", nullptr};
        std::string probe_path = probe_tool();
        pid_t ran = pex_unix_spawn_child(&pipeline, 0, probe_path.c_str(), probe, env, 0,
                                         listing_fd, 2, -1, &message, &error_number);
        int status = -1;
        text += ran > 0 && waitpid(ran, &status, 0) == ran && status == 0 ? " ran" : " not run";
        (void)!write(verdict_fd, text.data(), text.size());
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(read_text(verdict), "-1 execv " + std::to_string(ENOENT) + " ran");
    EXPECT_EQ(read_text(out), "") << "the failure record went into the stage's output";
    EXPECT_EQ(read_text(listing), fd_listing({1, 2}));
}

TEST_F(HostileTest, ToolClosingItsOutputEarly) {
    Launch how;
    how.command = wrapper("zin-ar", {"t", "x.a"});
    e2e::set_env(how.command, "PROBE_CLOSE_STDOUT", "1");
    e2e::set_env(how.command, "PROBE_EXIT", "7");
    Finished finished = launch(how);
    EXPECT_EQ(finished.out, "");
    EXPECT_EQ(finished.err, "");
    EXPECT_EQ(exit_code(finished), 7);
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
        e2e::Command command = wrapper("zin-nm");
        e2e::set_env(command, "PROBE_FLOOD", "1");
        int fds[2];
        ASSERT_EQ(pipe2(fds, O_CLOEXEC), 0);
        std::string err_path = scratch_ + "/err";
        int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        ASSERT_GE(err, 0);
        pid_t pid = start(command, fds[1], err, ignored);
        close(fds[1]);
        close(err);
        char byte;
        EXPECT_EQ(read(fds[0], &byte, 1), 1);
        close(fds[0]);
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status)) << "the wrapper itself must not die of SIGPIPE: " << status;
        if (ignored) {
            EXPECT_EQ(WEXITSTATUS(status), 42);
            EXPECT_EQ(read_text(err_path), "");
        } else {
            EXPECT_EQ(WEXITSTATUS(status), 1);
            // In brackets the C library's description, whose words vary by library.
            std::string err = read_text(err_path);
            std::string head =
                tool("nm") + " terminated with signal " + std::to_string(SIGPIPE) + " [";
            EXPECT_TRUE(err.starts_with(head) && err.ends_with("]\n") &&
                        err.size() > head.size() + 2)
                << err;
        }
    }
}

} // namespace
} // namespace hardening
