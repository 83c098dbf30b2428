// SPDX-License-Identifier: Apache-2.0
// The kit's files on POSIX hosts.
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "testkit/fail.h"
#include "testkit/files.h"

namespace kit {

bool make_dirs(const std::string &path) {
    for (std::size_t at = 1; at <= path.size(); ++at) {
        if (at == path.size() || path[at] == '/') {
            std::string prefix = path.substr(0, at);
            if (mkdir(prefix.c_str(), 0755) != 0 && errno != EEXIST) {
                fail(with_errno("mkdir " + prefix));
                return false;
            }
        }
    }
    return true;
}

bool write_file(const std::string &path, const std::string &content, mode_t mode) {
    std::string temporary = path + ".new";
    int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        fail(with_errno("open " + temporary));
        return false;
    }
    std::size_t done = 0;
    while (done < content.size()) {
        ssize_t wrote = write(fd, content.data() + done, content.size() - done);
        if (wrote < 0 && errno == EINTR) {
            continue;
        }
        if (wrote <= 0) {
            fail(with_errno("write " + temporary));
            close(fd);
            unlink(temporary.c_str());
            return false;
        }
        done += static_cast<std::size_t>(wrote);
    }
    if (close(fd) != 0 || chmod(temporary.c_str(), mode) != 0 ||
        rename(temporary.c_str(), path.c_str()) != 0) {
        fail(with_errno("write " + path));
        unlink(temporary.c_str());
        return false;
    }
    return true;
}

std::string read_file(const std::string &path) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        fail(with_errno("open " + path));
        return "";
    }
    std::string content = read_fd(fd);
    close(fd);
    return content;
}

bool copy_file(const std::string &from, const std::string &to, mode_t mode) {
    int fd = open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        fail(with_errno("open " + from));
        return false;
    }
    std::string content = read_fd(fd);
    close(fd);
    return write_file(to, content, mode);
}

std::string read_fd(int fd) {
    std::string content;
    char buffer[65536];
    for (;;) {
        ssize_t got = read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return content;
        }
        content.append(buffer, static_cast<std::size_t>(got));
    }
}

std::set<std::string> entries(const std::string &directory) {
    std::set<std::string> names;
    if (DIR *dir = opendir(directory.c_str())) {
        while (dirent *entry = readdir(dir)) {
            std::string name = entry->d_name;
            if (name != "." && name != "..") {
                names.insert(name);
            }
        }
        closedir(dir);
    }
    return names;
}

void remove_tree(const std::string &path) {
    struct stat info;
    if (path.empty() || lstat(path.c_str(), &info) != 0) {
        return;
    }
    if (!S_ISDIR(info.st_mode)) {
        unlink(path.c_str());
        return;
    }
    // A directory a test locked must still be listed and emptied.
    chmod(path.c_str(), 0700);
    for (const std::string &name : entries(path)) {
        remove_tree(path + "/" + name);
    }
    rmdir(path.c_str());
}

} // namespace kit
