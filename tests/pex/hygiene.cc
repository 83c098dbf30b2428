// Leak checks for the pipeline tests.
#include "pex/hygiene.h"

#include "support/temp_file.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

void remove_tree(const std::string &path) {
    struct stat info;
    if (lstat(path.c_str(), &info) != 0)
        return;
    if (S_ISDIR(info.st_mode)) {
        chmod(path.c_str(), 0700);
        if (DIR *dir = opendir(path.c_str())) {
            while (dirent *entry = readdir(dir)) {
                std::string name = entry->d_name;
                if (name != "." && name != "..")
                    remove_tree(path + "/" + name);
            }
            closedir(dir);
        }
        rmdir(path.c_str());
    } else {
        unlink(path.c_str());
    }
}

void remove_scratch_directory() {
    remove_tree(scratch_directory());
}

} // namespace

const std::string &scratch_directory() {
    static std::string directory;
    if (directory.empty()) {
        char name[] = "/tmp/zin-pex-test-XXXXXX";
        if (mkdtemp(name) == nullptr) {
            std::perror("mkdtemp");
            std::abort();
        }
        chmod(name, 0755);
        directory = name;
        setenv("TMPDIR", name, 1);
        std::atexit(remove_scratch_directory);
    }
    return directory;
}

std::set<int> open_descriptors() {
    std::set<int> result;
    DIR *dir = opendir("/proc/self/fd");
    if (dir == nullptr)
        return result;
    int own = dirfd(dir);
    while (dirent *entry = readdir(dir)) {
        if (entry->d_name[0] == '.')
            continue;
        int fd = std::atoi(entry->d_name);
        if (fd != own)
            result.insert(fd);
    }
    closedir(dir);
    return result;
}

std::set<std::string> scratch_entries() {
    std::set<std::string> result;
    if (DIR *dir = opendir(scratch_directory().c_str())) {
        while (dirent *entry = readdir(dir)) {
            std::string name = entry->d_name;
            if (name != "." && name != "..")
                result.insert(name);
        }
        closedir(dir);
    }
    return result;
}

void remove_scratch_entry(const std::string &name) {
    remove_tree(scratch_directory() + "/" + name);
}

std::string read_file(const std::string &path) {
    int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0)
        return "<missing>";
    std::string content = read_all_fd(fd);
    close(fd);
    return content;
}

void write_file(const std::string &path, const std::string &content) {
    std::FILE *file = std::fopen(path.c_str(), "w");
    ASSERT_NE(file, nullptr) << path;
    std::fwrite(content.data(), 1, content.size(), file);
    std::fclose(file);
}

std::string read_all_fd(int fd) {
    std::string content;
    char buffer[65536];
    for (;;) {
        ssize_t got = read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        content.append(buffer, static_cast<std::size_t>(got));
    }
    return content;
}

std::string read_all_stream(std::FILE *stream) {
    std::string content;
    char buffer[65536];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, stream)) > 0)
        content.append(buffer, got);
    return content;
}

int run_in_child(const std::function<int()> &body) {
    std::fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0)
        _exit(body());
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFSIGNALED(status))
        return 1000 + WTERMSIG(status);
    return WEXITSTATUS(status);
}

int run_as_nobody(const std::function<int()> &body) {
    return run_in_child([&body] {
        if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)
            return 200;
        return body();
    });
}

void HygieneTest::SetUp() {
    const std::string &directory = scratch_directory();
    // Every temporary file of the test must land in the scratch directory.
    ASSERT_EQ(std::string(temp_directory()), directory + "/");
    ASSERT_TRUE(scratch_entries().empty());
    descriptors_before_ = open_descriptors();
    alarm(30);
}

void HygieneTest::TearDown() {
    alarm(0);
    EXPECT_EQ(open_descriptors(), descriptors_before_) << "descriptors left open";
    int status;
    errno = 0;
    pid_t left = waitpid(-1, &status, WNOHANG);
    EXPECT_EQ(left, -1) << "a child was left behind";
    EXPECT_EQ(errno, ECHILD);
    std::set<std::string> left_files = scratch_entries();
    EXPECT_TRUE(left_files.empty()) << "files left: " << testing::PrintToString(left_files);
    for (const std::string &name : left_files)
        remove_scratch_entry(name);
}

std::string HygieneTest::scratch(const std::string &name) const {
    return scratch_directory() + "/" + name;
}
