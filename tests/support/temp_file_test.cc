// Temporary files.
//
// The temporary directory is chosen once per process, so every case that
// depends on the choice runs in a forked child of its own and reports what it
// got on its standard error.
#include "support/temp_file.h"

#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <grp.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

namespace {

struct ChildRun {
    int status;
    std::string output; // everything the child wrote to its standard error
};

// Runs `body` in a forked child whose standard error is captured; returning
// from `body` ends the child with status 0.
template <typename Body>
ChildRun run_in_child(Body body) {
    int fds[2];
    if (pipe(fds) != 0)
        return {-1, "pipe failed"};
    std::fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        dup2(fds[1], STDERR_FILENO);
        close(fds[1]);
        body();
        _exit(0);
    }
    close(fds[1]);
    std::string output;
    char buffer[512];
    ssize_t count;
    while ((count = read(fds[0], buffer, sizeof buffer)) > 0)
        output.append(buffer, static_cast<std::size_t>(count));
    close(fds[0]);
    int status = -1;
    waitpid(pid, &status, 0);
    return {status, output};
}

bool exited_cleanly(const ChildRun &run) {
    return WIFEXITED(run.status) && WEXITSTATUS(run.status) == 0;
}

// In a child: writes `text` to standard error, the channel back to the test.
void say(const std::string &text) {
    std::fputs(text.c_str(), stderr);
}

// In a child: sets the three variables of the candidate list, null meaning unset.
void use_environment(const char *tmpdir, const char *tmp, const char *temp) {
    const std::pair<const char *, const char *> variables[] = {
        {"TMPDIR", tmpdir}, {"TMP", tmp}, {"TEMP", temp}};
    for (auto [name, value] : variables) {
        if (value != nullptr)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
}

// Root passes access() whatever the mode bits, so the cases about directories
// without some permission run as the unprivileged user 65534 (nobody).
constexpr uid_t unprivileged_id = 65534;

bool drop_privileges() {
    if (geteuid() != 0)
        return true; // already subject to the mode bits
    return setgroups(0, nullptr) == 0 && setgid(unprivileged_id) == 0 &&
           setuid(unprivileged_id) == 0;
}

// In a child: makes `directory` the root of the file system and the working directory.
bool enter_root(const std::string &directory) {
    return chroot(directory.c_str()) == 0 && chdir("/") == 0;
}

bool child_can(bool (*step)(const std::string &), const std::string &argument) {
    return exited_cleanly(run_in_child([&] { _exit(step(argument) ? 0 : 1); }));
}

std::string regex_quote(const std::string &text) {
    std::string quoted;
    for (char c : text) {
        if (std::strchr("\\^$.|?*+()[]{}", c) != nullptr)
            quoted += '\\';
        quoted += c;
    }
    return quoted;
}

class TempFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/zin-temp-file-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr) << std::strerror(errno);
        base_ = pattern;
        ASSERT_EQ(chmod(base_.c_str(), 0755), 0); // reachable by the unprivileged user
    }

    void TearDown() override {
        for (const std::string &directory : directories_)
            chmod(directory.c_str(), 0700);
        std::error_code ignored;
        std::filesystem::remove_all(base_, ignored);
    }

    // A new directory below the test's base with exactly `mode`.
    std::string make_directory(const std::string &relative, mode_t mode) {
        std::string path = base_ + "/" + relative;
        EXPECT_EQ(mkdir(path.c_str(), 0700), 0) << path << ": " << std::strerror(errno);
        EXPECT_EQ(chmod(path.c_str(), mode), 0) << path;
        directories_.push_back(path);
        return path;
    }

    // A new regular file with every permission, so that only its type disqualifies it.
    std::string make_file(const std::string &relative) {
        std::string path = base_ + "/" + relative;
        std::FILE *file = std::fopen(path.c_str(), "w");
        EXPECT_NE(file, nullptr) << path;
        if (file != nullptr)
            std::fclose(file);
        EXPECT_EQ(chmod(path.c_str(), 0777), 0);
        return path;
    }

    // The directory chosen by a fresh process with these variables.
    static ChildRun choice_with(const char *tmpdir, const char *tmp, const char *temp) {
        return run_in_child([=] {
            use_environment(tmpdir, tmp, temp);
            say(temp_directory());
        });
    }

    std::string base_;
    std::vector<std::string> directories_;
};

// Checks that `name` is `directory` + `prefix` + six unique characters +
// `suffix`, and that `path` (the same file seen from the test) is an empty
// regular file of mode 0600.
void expect_temp_file(const std::string &name, const std::string &directory,
                      const std::string &prefix, const std::string &suffix,
                      const std::string &path) {
    SCOPED_TRACE(name);
    ASSERT_EQ(name.size(), directory.size() + prefix.size() + 6 + suffix.size());
    EXPECT_EQ(name.substr(0, directory.size() + prefix.size()), directory + prefix);
    EXPECT_EQ(name.substr(name.size() - suffix.size()), suffix);
    for (char c : name.substr(directory.size() + prefix.size(), 6))
        EXPECT_TRUE(std::isalnum(static_cast<unsigned char>(c))) << c;
    struct stat info;
    ASSERT_EQ(stat(path.c_str(), &info), 0) << path << ": " << std::strerror(errno);
    EXPECT_TRUE(S_ISREG(info.st_mode));
    EXPECT_EQ(info.st_size, 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
}

TEST_F(TempFileTest, TmpdirNamingWritableDirectory) {
    std::string directory = make_directory("dir", 0700);
    ChildRun run = choice_with(directory.c_str(), nullptr, nullptr);
    EXPECT_TRUE(exited_cleanly(run));
    EXPECT_EQ(run.output, directory + "/");
}

TEST_F(TempFileTest, TmpdirEndingInSlashGetsASecondOne) {
    std::string directory = make_directory("dir", 0700) + "/";
    ChildRun run = choice_with(directory.c_str(), nullptr, nullptr);
    EXPECT_EQ(run.output, directory + "/");
}

TEST_F(TempFileTest, CandidateOrderTmpdirTmpTemp) {
    std::string first = make_directory("first", 0700);
    std::string second = make_directory("second", 0700);
    std::string third = make_directory("third", 0700);
    EXPECT_EQ(choice_with(first.c_str(), second.c_str(), third.c_str()).output, first + "/");
    EXPECT_EQ(choice_with(nullptr, second.c_str(), third.c_str()).output, second + "/");
    EXPECT_EQ(choice_with(nullptr, nullptr, third.c_str()).output, third + "/");
}

TEST_F(TempFileTest, EmptyTmpdirIsSkipped) {
    std::string directory = make_directory("dir", 0700);
    EXPECT_EQ(choice_with("", directory.c_str(), nullptr).output, directory + "/");
}

TEST_F(TempFileTest, TmpdirNamingRegularFileIsSkipped) {
    std::string file = make_file("file");
    std::string directory = make_directory("dir", 0700);
    EXPECT_EQ(choice_with(file.c_str(), directory.c_str(), nullptr).output, directory + "/");
}

TEST_F(TempFileTest, TmpdirNamingNothingIsSkipped) {
    std::string directory = make_directory("dir", 0700);
    std::string missing = base_ + "/missing";
    EXPECT_EQ(choice_with(missing.c_str(), directory.c_str(), nullptr).output, directory + "/");
}

TEST_F(TempFileTest, DirectoryWithoutSomePermissionIsSkipped) {
    if (!child_can([](const std::string &) { return drop_privileges(); }, ""))
        GTEST_SKIP() << "cannot switch to the unprivileged user " << unprivileged_id;
    std::string usable = make_directory("usable", 0777);
    for (mode_t mode : {0555, 0666, 0333}) { // no write, no search, no read
        std::string directory = make_directory("mode" + std::to_string(mode), mode);
        ChildRun run = run_in_child([&] {
            if (!drop_privileges())
                _exit(2);
            use_environment(directory.c_str(), usable.c_str(), nullptr);
            say(temp_directory());
        });
        EXPECT_TRUE(exited_cleanly(run)) << "mode " << std::oct << mode;
        EXPECT_EQ(run.output, usable + "/") << "mode " << std::oct << mode;
    }
}

TEST_F(TempFileTest, UnusableEnvironmentFallsBackToTmpWithSlash) {
    struct stat info;
    if (access("/tmp/", R_OK | W_OK | X_OK) != 0 || stat("/tmp/", &info) != 0 ||
        !S_ISDIR(info.st_mode))
        GTEST_SKIP() << "/tmp/ is not usable on this machine";
    std::string file = make_file("file");
    std::string missing = base_ + "/missing";
    EXPECT_EQ(choice_with(nullptr, nullptr, nullptr).output, "/tmp//");
    EXPECT_EQ(choice_with("", file.c_str(), missing.c_str()).output, "/tmp//");
}

// The fixed candidates, each made the first usable one inside a private root
// directory (chroot, which needs root or CAP_SYS_CHROOT).
TEST_F(TempFileTest, FixedCandidatesInPrivateRoot) {
    if (!child_can(enter_root, base_))
        GTEST_SKIP() << "chroot is not permitted here";
    std::string with_tmp = make_directory("with-tmp", 0755);
    make_directory("with-tmp/tmp", 0777);
    make_directory("with-tmp/var", 0755);
    make_directory("with-tmp/var/tmp", 0777);
    std::string with_var_tmp = make_directory("with-var-tmp", 0755);
    make_directory("with-var-tmp/var", 0755);
    make_directory("with-var-tmp/var/tmp", 0777);
    std::string empty = make_directory("empty", 0755);

    struct Case {
        std::string root;
        const char *expected;
    };
    for (const Case &one :
         {Case{with_tmp, "/tmp//"}, Case{with_var_tmp, "/var/tmp/"}, Case{empty, "./"}}) {
        ChildRun run = run_in_child([&] {
            if (!enter_root(one.root))
                _exit(2);
            use_environment(nullptr, nullptr, nullptr);
            say(temp_directory());
        });
        EXPECT_TRUE(exited_cleanly(run)) << one.root;
        EXPECT_EQ(run.output, one.expected) << one.root;
    }
}

TEST_F(TempFileTest, NothingUsableCreatesInWorkingDirectory) {
    if (!child_can(enter_root, base_))
        GTEST_SKIP() << "chroot is not permitted here";
    std::string root = make_directory("root", 0755);
    ChildRun run = run_in_child([&] {
        if (!enter_root(root))
            _exit(2);
        use_environment(nullptr, nullptr, nullptr);
        say(create_temp_file(".o"));
    });
    ASSERT_TRUE(exited_cleanly(run)) << run.output;
    expect_temp_file(run.output, "./", "cc", ".o", root + "/" + run.output.substr(2));
}

TEST_F(TempFileTest, ChosenOnceForTheProcess) {
    std::string first = make_directory("first", 0700);
    std::string second = make_directory("second", 0700);
    ChildRun run = run_in_child([&] {
        use_environment(first.c_str(), nullptr, nullptr);
        const char *before = temp_directory();
        setenv("TMPDIR", second.c_str(), 1);
        const char *after = temp_directory();
        say(std::string(before) + "\n" + (before == after ? "same" : "moved") + "\n" +
            create_temp_file(nullptr));
    });
    ASSERT_TRUE(exited_cleanly(run));
    EXPECT_EQ(run.output.substr(0, first.size() + 7), first + "/\nsame\n");
    EXPECT_EQ(run.output.substr(first.size() + 7, first.size() + 1), first + "/");
}

TEST_F(TempFileTest, EnvironmentValueIsCopied) {
    std::string directory = make_directory("dir", 0700);
    ChildRun run = run_in_child([&] {
        char value[256];
        std::snprintf(value, sizeof value, "TMPDIR=%s", directory.c_str());
        putenv(value); // the environment then points into `value`
        const char *chosen = temp_directory();
        std::memset(value, 'x', std::strlen(value));
        say(chosen);
    });
    EXPECT_EQ(run.output, directory + "/");
}

TEST_F(TempFileTest, CreateWithSuffix) {
    std::string directory = make_directory("dir", 0700);
    ChildRun run = run_in_child([&] {
        use_environment(directory.c_str(), nullptr, nullptr);
        say(create_temp_file(".o"));
    });
    ASSERT_TRUE(exited_cleanly(run)) << run.output;
    expect_temp_file(run.output, directory + "/", "cc", ".o", run.output);
}

TEST_F(TempFileTest, CreateWithNullPrefixAndSuffix) {
    std::string directory = make_directory("dir", 0700);
    ChildRun run = run_in_child([&] {
        use_environment(directory.c_str(), nullptr, nullptr);
        say(create_temp_file_prefixed(nullptr, nullptr));
    });
    ASSERT_TRUE(exited_cleanly(run)) << run.output;
    expect_temp_file(run.output, directory + "/", "cc", "", run.output);
}

TEST_F(TempFileTest, CreateWithPrefixGivesDistinctFiles) {
    std::string directory = make_directory("dir", 0700);
    ChildRun run = run_in_child([&] {
        use_environment(directory.c_str(), nullptr, nullptr);
        for (int i = 0; i < 3; ++i)
            say(std::string(create_temp_file_prefixed("zin", ".s")) + "\n");
    });
    ASSERT_TRUE(exited_cleanly(run)) << run.output;
    std::vector<std::string> names;
    for (std::size_t start = 0, end; (end = run.output.find('\n', start)) != std::string::npos;
         start = end + 1)
        names.push_back(run.output.substr(start, end - start));
    ASSERT_EQ(names.size(), 3u);
    for (const std::string &name : names)
        expect_temp_file(name, directory + "/", "zin", ".s", name);
    EXPECT_NE(names[0], names[1]);
    EXPECT_NE(names[1], names[2]);
    EXPECT_NE(names[0], names[2]);
}

using TempFileDeathTest = TempFileTest;

// The directory passes the test when chosen and loses its write permission
// before the file is made; as root the write would succeed regardless, so the
// child runs as the unprivileged user, owning the directory to change its mode.
TEST_F(TempFileDeathTest, CreationFailureAbortsWithMessage) {
    if (!child_can([](const std::string &) { return drop_privileges(); }, ""))
        GTEST_SKIP() << "cannot switch to the unprivileged user " << unprivileged_id;
    std::string directory = make_directory("closing", 0700);
    if (geteuid() == 0) {
        ASSERT_EQ(chown(directory.c_str(), unprivileged_id, unprivileged_id), 0);
    }
    EXPECT_EXIT(
        {
            if (!drop_privileges())
                _exit(2);
            use_environment(directory.c_str(), nullptr, nullptr);
            temp_directory();
            chmod(directory.c_str(), 0500);
            create_temp_file(".o");
        },
        ::testing::KilledBySignal(SIGABRT),
        "^Cannot create temporary file in " + regex_quote(directory) +
            "/: " + regex_quote(std::strerror(EACCES)) + "\n" +
            // The emulator adds its own line about the target's signal.
            (ZIN_CROSS_EMULATED ? "(qemu: uncaught target signal [^\n]*\n)?$" : "$"));
}

} // namespace
