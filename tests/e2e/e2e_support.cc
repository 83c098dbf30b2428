#include "e2e/e2e_support.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <ftw.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "driver/build_config.h"

extern char **environ;

namespace e2e {

namespace {

// A command that has not ended after this long is killed and reported.
constexpr int kill_after_ms = 60000;

bool starts_with(const std::string &text, const char *prefix) {
    return text.compare(0, std::strlen(prefix), prefix) == 0;
}

// Escapes what a terminal would not show faithfully.
std::string quote(const std::string &text) {
    std::string quoted = "'";
    for (unsigned char c : text) {
        if (c == '\n') {
            quoted += "\\n";
        } else if (c == '\'') {
            quoted += "'\\''";
        } else if (c < 0x20 || c >= 0x7f) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            quoted += hex;
        } else {
            quoted += static_cast<char>(c);
        }
    }
    if (quoted.size() > 300) {
        quoted = quoted.substr(0, 200) + "...(" + std::to_string(text.size()) + " bytes)";
    }
    return quoted + "'";
}

} // namespace

std::vector<std::string> environment_for(const Command &command) {
    std::vector<std::string> entries;
    for (char **entry = environ; *entry != nullptr; ++entry) {
        std::string text = *entry;
        if (!starts_with(text, "ZIN_") && !starts_with(text, "STAND_IN_") &&
            !starts_with(text, "PROBE_") && !starts_with(text, "LD_PRELOAD=")) {
            entries.push_back(text);
        }
    }
    for (const EnvChange &change : command.env) {
        std::string key = change.name + "=";
        std::erase_if(entries,
                      [&](const std::string &text) { return starts_with(text, key.c_str()); });
        if (change.value) {
            entries.push_back(key + *change.value);
        }
    }
    return entries;
}

std::vector<char *> pointers_to(std::vector<std::string> &strings) {
    std::vector<char *> pointers;
    for (std::string &text : strings) {
        pointers.push_back(text.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

std::string built_program(const std::string &name) {
    if (name == "zin-ar") {
        return ZIN_E2E_ZIN_AR;
    }
    if (name == "zin-nm") {
        return ZIN_E2E_ZIN_NM;
    }
    if (name == "zin-ranlib") {
        return ZIN_E2E_ZIN_RANLIB;
    }
    if (name == "stand_in_tool") {
        return ZIN_E2E_STAND_IN_TOOL;
    }
    ADD_FAILURE() << "no built program " << name;
    return "";
}

std::string find_on_path(const std::string &name) {
    const char *path = std::getenv("PATH");
    if (path == nullptr) {
        return "";
    }
    std::string list = path;
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t end = list.find(':', start);
        if (end == std::string::npos) {
            end = list.size();
        }
        std::string dir = list.substr(start, end - start);
        if (!dir.empty() && dir[0] == '/') {
            std::string candidate = dir + "/" + name;
            if (access(candidate.c_str(), X_OK) == 0) {
                return candidate;
            }
        }
        start = end + 1;
    }
    return "";
}

bool collect_child(pid_t pid, int out_fd, int err_fd, int timeout_ms, Outcome *outcome) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    pollfd fds[2] = {{out_fd, POLLIN, 0}, {err_fd, POLLIN, 0}};
    std::string *sinks[2] = {&outcome->out, &outcome->err};
    int open_count = 2;
    bool in_time = true;
    while (open_count > 0) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                        deadline - std::chrono::steady_clock::now())
                        .count();
        int ready = poll(fds, 2, left > 0 ? static_cast<int>(left) : 0);
        if (ready == 0) {
            // A descendant may hold the pipes open too: stop reading altogether.
            in_time = false;
            kill(pid, SIGKILL);
            break;
        }
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) {
                continue;
            }
            char buffer[65536];
            ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
            if (got > 0) {
                sinks[i]->append(buffer, static_cast<std::size_t>(got));
            } else if (got == 0 || errno != EINTR) {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open_count;
            }
        }
    }
    for (pollfd &entry : fds) {
        if (entry.fd >= 0) {
            close(entry.fd);
        }
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            ADD_FAILURE() << "waitpid: " << std::strerror(errno);
            return in_time;
        }
    }
    outcome->wait_status = status;
    return in_time;
}

Outcome run_command(const Command &command) {
    Outcome outcome;
    std::vector<std::string> argv_strings = command.argv;
    std::vector<std::string> env_strings = environment_for(command);
    std::vector<char *> argv = pointers_to(argv_strings);
    std::vector<char *> envp = pointers_to(env_strings);

    int out_pipe[2];
    int err_pipe[2];
    if (pipe2(out_pipe, O_CLOEXEC) != 0 || pipe2(err_pipe, O_CLOEXEC) != 0) {
        ADD_FAILURE() << "pipe2: " << std::strerror(errno);
        return outcome;
    }
    int null_fd = open("/dev/null", O_RDONLY | O_CLOEXEC);
    const char *cwd = command.cwd.empty() ? nullptr : command.cwd.c_str();
    pid_t pid = fork();
    if (pid == 0) {
        // Only async-signal-safe calls from here on.
        if (cwd != nullptr && chdir(cwd) != 0) {
            _exit(126);
        }
        if (dup2(null_fd, 0) < 0 || dup2(out_pipe[1], 1) < 0 || dup2(err_pipe[1], 2) < 0) {
            _exit(126);
        }
        close_range(3, ~0U, 0);
        execve(command.executable.c_str(), argv.data(), envp.data());
        static const char failed[] = "test runner: execve failed\n";
        (void)!write(2, failed, sizeof failed - 1);
        _exit(127);
    }
    close(null_fd);
    close(out_pipe[1]);
    close(err_pipe[1]);
    if (pid < 0) {
        ADD_FAILURE() << "fork: " << std::strerror(errno);
        close(out_pipe[0]);
        close(err_pipe[0]);
        return outcome;
    }

    if (!collect_child(pid, out_pipe[0], err_pipe[0], kill_after_ms, &outcome)) {
        ADD_FAILURE() << "still running after " << kill_after_ms
                      << " ms, killed: " << describe_command(command);
    }
#if ZIN_CROSS_EMULATED
    // The emulator announces a target program's fatal signal on stderr; the
    // program itself wrote nothing of it.
    for (std::size_t at;
         (at = outcome.err.find("qemu: uncaught target signal ")) != std::string::npos;) {
        std::size_t end = outcome.err.find('\n', at);
        outcome.err.erase(at, end == std::string::npos ? std::string::npos : end - at + 1);
    }
#endif
    return outcome;
}

std::string describe_command(const Command &command) {
    std::string text = "command: cd " + quote(command.cwd.empty() ? "." : command.cwd) + " && env";
    for (const EnvChange &change : command.env) {
        text +=
            change.value ? " " + change.name + "=" + quote(*change.value) : " -u " + change.name;
    }
    text += " execve " + quote(command.executable) + " argv[" +
            std::to_string(command.argv.size()) + "]:";
    for (const std::string &element : command.argv) {
        text += " " + quote(element);
    }
    return text;
}

int exit_code(const Outcome &outcome) {
    if (outcome.wait_status < 0 || !WIFEXITED(outcome.wait_status)) {
        return -1;
    }
    return WEXITSTATUS(outcome.wait_status);
}

void expect_run(const Command &command, const std::string &out, const std::string &err, int code) {
    SCOPED_TRACE(describe_command(command));
    Outcome outcome = run_command(command);
    EXPECT_EQ(out, outcome.out);
    EXPECT_EQ(err, outcome.err);
    EXPECT_EQ(code, exit_code(outcome)) << "raw wait status " << outcome.wait_status;
}

std::string lines(const std::vector<std::string> &elements) {
    std::string text;
    for (const std::string &element : elements) {
        text += element;
        text += '\n';
    }
    return text;
}

void set_env(Command &command, const std::string &name, const std::string &value) {
    command.env.push_back({name, value});
}

void unset_env(Command &command, const std::string &name) {
    command.env.push_back({name, std::nullopt});
}

void make_dirs(const std::string &path) {
    for (std::size_t at = 1; at <= path.size(); ++at) {
        if (at == path.size() || path[at] == '/') {
            std::string prefix = path.substr(0, at);
            if (mkdir(prefix.c_str(), 0755) != 0 && errno != EEXIST) {
                ADD_FAILURE() << "mkdir " << prefix << ": " << std::strerror(errno);
                return;
            }
        }
    }
}

void write_file(const std::string &path, const std::string &content, unsigned mode) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        ADD_FAILURE() << "open " << path << ": " << std::strerror(errno);
        return;
    }
    std::size_t done = 0;
    while (done < content.size()) {
        ssize_t wrote = write(fd, content.data() + done, content.size() - done);
        if (wrote <= 0) {
            ADD_FAILURE() << "write " << path << ": " << std::strerror(errno);
            break;
        }
        done += static_cast<std::size_t>(wrote);
    }
    close(fd);
    if (chmod(path.c_str(), mode) != 0) {
        ADD_FAILURE() << "chmod " << path << ": " << std::strerror(errno);
    }
}

void copy_file(const std::string &from, const std::string &to, unsigned mode) {
    int fd = open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        ADD_FAILURE() << "open " << from << ": " << std::strerror(errno);
        return;
    }
    std::string content;
    char buffer[65536];
    ssize_t got;
    while ((got = read(fd, buffer, sizeof buffer)) > 0) {
        content.append(buffer, static_cast<std::size_t>(got));
    }
    close(fd);
    write_file(to, content, mode);
}

std::string make_scratch_dir() {
    make_dirs(ZIN_E2E_SCRATCH_ROOT);
    std::string pattern = std::string(ZIN_E2E_SCRATCH_ROOT) + "/case-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        ADD_FAILURE() << "mkdtemp " << pattern << ": " << std::strerror(errno);
        return "";
    }
    // Reachable by the unprivileged user of the permission cases.
    chmod(pattern.c_str(), 0755);
    char resolved[PATH_MAX];
    if (realpath(pattern.c_str(), resolved) == nullptr) {
        ADD_FAILURE() << "realpath " << pattern << ": " << std::strerror(errno);
        return pattern;
    }
    return resolved;
}

void remove_tree(const std::string &path) {
    nftw(
        path.c_str(),
        [](const char *name, const struct stat *, int, FTW *) {
            (void)remove(name);
            return 0;
        },
        16, FTW_DEPTH | FTW_PHYS);
}

InstallTree build_install_tree(const std::string &root) {
    InstallTree tree = install_tree_layout(root);
    make_dirs(tree.bin_dir);
    make_dirs(tree.exec_dir + target_machine + "/" + toolchain_version + "/");
    make_dirs(tree.plugin_dir);
    make_dirs(tree.tool_dir);
    for (const char *name : {"zin-ar", "zin-nm", "zin-ranlib"}) {
        copy_file(built_program(name), tree.bin_dir + name, 0755);
    }
    write_file(tree_plugin(tree), "", 0644);
    for (const char *tool : {"ar", "nm", "ranlib"}) {
        copy_file(built_program("stand_in_tool"), tree.tool_dir + tool, 0755);
    }
    return tree;
}

std::string tree_plugin(const InstallTree &tree) {
    return tree.plugin_dir + plugin_file_name;
}

void ScratchTest::SetUp() {
    scratch_ = make_scratch_dir();
    ASSERT_FALSE(scratch_.empty());
}

void ScratchTest::TearDown() {
    // A failed case leaves its directory for a look at what was there.
    if (!HasFailure() && !scratch_.empty()) {
        remove_tree(scratch_);
    }
}

void WrapperTest::SetUp() {
    ScratchTest::SetUp();
    tree_ = build_install_tree(scratch_ + "/tree");
}

Command WrapperTest::wrapper(const std::string &name, const std::vector<std::string> &args) const {
    Command command;
    command.executable = tree_.bin_dir + name;
    command.argv.push_back(command.executable);
    command.argv.insert(command.argv.end(), args.begin(), args.end());
    command.cwd = scratch_;
    set_env(command, "PATH", scratch_ + "/no-such-directory");
    return command;
}

std::string WrapperTest::tool_output(const std::string &tool,
                                     const std::vector<std::string> &args) const {
    std::vector<std::string> argv = {tree_.tool_dir + tool, "--plugin", tree_plugin(tree_)};
    argv.insert(argv.end(), args.begin(), args.end());
    return lines(argv);
}

} // namespace e2e
