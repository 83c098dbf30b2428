// SPDX-License-Identifier: Apache-2.0
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
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "testkit/files.h"
#include "testkit/launch.h"
#include "testkit/process.h"
#include "testkit/scratch_test.h"

namespace {

// In a child: reports `text` on standard error, the channel back to the test.
int say(const std::string &text) {
    std::fputs(text.c_str(), stderr);
    return 0;
}

// In a child: makes `directory` the root of the file system and the working directory.
bool enter_root(const std::string &directory) {
    return chroot(directory.c_str()) == 0 && chdir("/") == 0;
}

class TempFileTest : public kit::ScratchTest {
  protected:
    // A new directory below the scratch directory with exactly `mode`.
    std::string make_directory(const std::string &relative, mode_t mode) {
        std::string path = at(relative);
        EXPECT_EQ(mkdir(path.c_str(), 0700), 0) << path << ": " << std::strerror(errno);
        EXPECT_EQ(chmod(path.c_str(), mode), 0) << path;
        return path;
    }

    // In a child: sets the three variables of the candidate list to the
    // scratch entries named; "" stays empty, null unsets the variable.
    void use_environment(const char *tmpdir, const char *tmp = nullptr,
                         const char *temp = nullptr) const {
        for (auto [name, entry] : {std::pair{"TMPDIR", tmpdir}, {"TMP", tmp}, {"TEMP", temp}}) {
            if (entry == nullptr) {
                unsetenv(name);
            } else {
                setenv(name, *entry == '\0' ? "" : at(entry).c_str(), 1);
            }
        }
    }

    // Whether a child may switch to the unprivileged user, or change its root.
    static bool can_become_nobody() {
        return kit::run_in_child([] { return 0; }, true).wait_status == 0;
    }
    bool can_enter_root() const {
        return kit::run_in_child([&] { return enter_root(scratch_) ? 0 : 1; }).wait_status == 0;
    }
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
    for (char c : name.substr(directory.size() + prefix.size(), 6)) {
        EXPECT_TRUE(std::isalnum(static_cast<unsigned char>(c))) << c;
    }
    struct stat info;
    ASSERT_EQ(stat(path.c_str(), &info), 0) << path << ": " << std::strerror(errno);
    EXPECT_TRUE(S_ISREG(info.st_mode));
    EXPECT_EQ(info.st_size, 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
}

// TMPDIR, TMP and TEMP as the candidate list sees them, and the directory
// chosen. A value names an entry of the scratch directory made by the
// fixture below; null leaves the variable unset.
struct CandidateRow {
    const char *name;
    const char *tmpdir;
    const char *tmp;
    const char *temp;
    const char *chosen; // an entry of the scratch directory, or an absolute path
    bool as_nobody;     // root passes access() whatever the mode bits say
};

const CandidateRow candidate_rows[] = {
    {"TmpdirNamingWritableDirectory", "first", nullptr, nullptr, "first/", false},
    {"TmpdirEndingInSlashGetsASecondOne", "first/", nullptr, nullptr, "first//", false},
    {"TmpdirFirst", "first", "second", "third", "first/", false},
    {"TmpNext", nullptr, "second", "third", "second/", false},
    {"TempLast", nullptr, nullptr, "third", "third/", false},
    {"EmptyTmpdirIsSkipped", "", "second", nullptr, "second/", false},
    {"RegularFileIsSkipped", "file", "second", nullptr, "second/", false},
    {"MissingDirectoryIsSkipped", "missing", "second", nullptr, "second/", false},
    {"UnwritableDirectoryIsSkipped", "mode555", "usable", nullptr, "usable/", true},
    {"UnsearchableDirectoryIsSkipped", "mode666", "usable", nullptr, "usable/", true},
    {"UnreadableDirectoryIsSkipped", "mode333", "usable", nullptr, "usable/", true},
    {"NothingSetFallsBackToTmpWithSlash", nullptr, nullptr, nullptr, "/tmp//", false},
    {"NothingUsableFallsBackToTmpWithSlash", "", "file", "missing", "/tmp//", false},
};

// A row shows as its name in test names and messages.
void PrintTo(const CandidateRow &row, std::ostream *out) {
    *out << row.name;
}

class TempFileCandidateTest : public TempFileTest,
                              public testing::WithParamInterface<CandidateRow> {};

TEST_P(TempFileCandidateTest, ChosenDirectory) {
    const CandidateRow &row = GetParam();
    if (row.as_nobody && !can_become_nobody()) {
        GTEST_SKIP() << "cannot switch to the unprivileged user " << kit::nobody_id;
    }
    struct stat info;
    if (row.chosen[0] == '/' && (access("/tmp/", R_OK | W_OK | X_OK) != 0 ||
                                 stat("/tmp/", &info) != 0 || !S_ISDIR(info.st_mode))) {
        GTEST_SKIP() << "/tmp/ is not usable on this machine";
    }
    for (const char *name : {"first", "second", "third"}) {
        make_directory(name, 0700);
    }
    make_directory("usable", 0777);
    make_directory("mode555", 0555);                    // no write
    make_directory("mode666", 0666);                    // no search
    make_directory("mode333", 0333);                    // no read
    ASSERT_TRUE(kit::write_file(at("file"), "", 0777)); // only its type disqualifies it
    kit::ChildOutcome child = kit::run_in_child(
        [&] {
            use_environment(row.tmpdir, row.tmp, row.temp);
            return say(temp_directory());
        },
        row.as_nobody);
    EXPECT_EQ(child.wait_status, 0);
    EXPECT_EQ(child.err, row.chosen[0] == '/' ? row.chosen : at(row.chosen));
}

INSTANTIATE_TEST_SUITE_P(Candidates, TempFileCandidateTest, testing::ValuesIn(candidate_rows));

// The fixed candidates, each made the first usable one inside a private root
// directory (chroot, which needs root or CAP_SYS_CHROOT), and a file made
// there: with none usable, in the working directory.
TEST_F(TempFileTest, FixedCandidatesInPrivateRoot) {
    if (!can_enter_root()) {
        GTEST_SKIP() << "chroot is not permitted here";
    }
    for (const char *directory :
         {"with-tmp", "with-tmp/var", "with-var-tmp", "with-var-tmp/var", "empty"}) {
        make_directory(directory, 0755);
    }
    for (const char *directory : {"with-tmp/tmp", "with-tmp/var/tmp", "with-var-tmp/var/tmp"}) {
        make_directory(directory, 0777);
    }
    for (auto [root, expected] :
         {std::pair{"with-tmp", "/tmp//"}, {"with-var-tmp", "/var/tmp/"}, {"empty", "./"}}) {
        std::string root_dir = at(root);
        kit::ChildOutcome child = kit::run_in_child([&] {
            if (!enter_root(root_dir)) {
                return 2;
            }
            use_environment(nullptr);
            return say(std::string(temp_directory()) + "\n" + create_temp_file(".o"));
        });
        ASSERT_EQ(child.wait_status, 0) << root << ": " << child.err;
        std::size_t end = child.err.find('\n');
        EXPECT_EQ(child.err.substr(0, end), expected) << root;
        std::string name = child.err.substr(end + 1);
        expect_temp_file(name, expected, "cc", ".o", root_dir + "/" + name);
    }
}

TEST_F(TempFileTest, ChosenOnceForTheProcess) {
    std::string first = make_directory("first", 0700);
    std::string second = make_directory("second", 0700);
    kit::ChildOutcome child = kit::run_in_child([&] {
        use_environment("first");
        const char *before = temp_directory();
        setenv("TMPDIR", second.c_str(), 1);
        const char *after = temp_directory();
        return say(std::string(before) + "\n" + (before == after ? "same" : "moved") + "\n" +
                   create_temp_file(nullptr));
    });
    ASSERT_EQ(child.wait_status, 0);
    EXPECT_EQ(child.err.substr(0, first.size() + 7), first + "/\nsame\n");
    EXPECT_EQ(child.err.substr(first.size() + 7, first.size() + 1), first + "/");
}

TEST_F(TempFileTest, EnvironmentValueIsCopied) {
    std::string directory = make_directory("dir", 0700);
    kit::ChildOutcome child = kit::run_in_child([&] {
        std::string setting = "TMPDIR=" + directory;
        std::vector<char> value(setting.begin(), setting.end());
        value.push_back('\0');
        putenv(value.data()); // the environment then points into `value`
        const char *chosen = temp_directory();
        std::fill(value.begin(), value.end() - 1, 'x');
        return say(chosen);
    });
    EXPECT_EQ(child.err, directory + "/");
}

// Each kind of name made three times: every one new, in the chosen directory.
TEST_F(TempFileTest, CreatedNames) {
    std::string directory = make_directory("dir", 0700);
    struct Row {
        const char *prefix;
        const char *suffix;
        char *(*create)();
    };
    const Row rows[] = {
        {"cc", ".o", [] { return create_temp_file(".o"); }},
        {"cc", "", [] { return create_temp_file_prefixed(nullptr, nullptr); }},
        {"zin", ".s", [] { return create_temp_file_prefixed("zin", ".s"); }},
    };
    for (const Row &row : rows) {
        kit::ChildOutcome child = kit::run_in_child([&] {
            use_environment("dir");
            for (int i = 0; i < 3; ++i) {
                say(std::string(row.create()) + "\n");
            }
            return 0;
        });
        ASSERT_EQ(child.wait_status, 0) << child.err;
        std::vector<std::string> names;
        for (std::size_t start = 0, end; (end = child.err.find('\n', start)) != std::string::npos;
             start = end + 1) {
            names.push_back(child.err.substr(start, end - start));
        }
        ASSERT_EQ(names.size(), 3u);
        EXPECT_EQ(std::set<std::string>(names.begin(), names.end()).size(), 3u) << "each one new";
        for (const std::string &name : names) {
            expect_temp_file(name, directory + "/", row.prefix, row.suffix, name);
        }
    }
}

// The directory passes the test when chosen and is spoilt before the file is
// made, which ends the program with the message. A lost write permission stops
// only an unprivileged user: that row's child runs as uid 65534, owning the
// directory to change its mode.
TEST_F(TempFileTest, CreationFailureAbortsWithMessage) {
    if (!can_become_nobody()) {
        GTEST_SKIP() << "cannot switch to the unprivileged user " << kit::nobody_id;
    }
    struct Row {
        const char *what;
        int (*spoil)(const char *directory);
        int error_number;
        bool as_nobody;
    };
    const Row rows[] = {
        {"write permission taken", [](const char *directory) { return chmod(directory, 0500); },
         EACCES, true},
        {"directory removed", [](const char *directory) { return rmdir(directory); }, ENOENT,
         false},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        std::string directory = make_directory(row.what, 0700);
        if (row.as_nobody && geteuid() == 0) {
            ASSERT_EQ(chown(directory.c_str(), kit::nobody_id, kit::nobody_id), 0);
        }
        kit::ChildOutcome child = kit::run_in_child(
            [&] {
                use_environment(row.what);
                temp_directory();
                row.spoil(directory.c_str());
                create_temp_file(".o");
                return 0;
            },
            row.as_nobody);
        ASSERT_TRUE(WIFSIGNALED(child.wait_status)) << child.wait_status;
        EXPECT_EQ(WTERMSIG(child.wait_status), SIGABRT);
        EXPECT_EQ(child.err, "Cannot create temporary file in " + directory +
                                 "/: " + std::strerror(row.error_number) + "\n");
    }
}

} // namespace
