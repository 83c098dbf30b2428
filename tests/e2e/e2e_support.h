// What the end-to-end tests share: scratch directories, throwaway
// installation trees, and a runner that starts a program with a chosen argv,
// environment and working directory and captures what it does.
#pragma once

#include <gtest/gtest.h>

#include "e2e/install_layout.h"

#include <optional>
#include <string>
#include <vector>

namespace e2e {

// One change to the environment a command inherits; no value unsets the name.
struct EnvChange {
    std::string name;
    std::optional<std::string> value;
};

// A program to start: execve(executable, argv, environment) in cwd.
struct Command {
    std::string executable;        // path handed to execve, never searched
    std::vector<std::string> argv; // argv[0] included; empty for an empty vector
    std::vector<EnvChange> env;    // applied in order over the base environment
    std::string cwd;               // empty: the test's own directory
};

// What a command did. Standard input was /dev/null.
struct Outcome {
    std::string out;
    std::string err;
    int wait_status = -1; // raw status from waitpid; -1 when it could not be run
};

// The test's environment without the variables that steer the tools, the
// wrappers and the fault library, with the command's changes applied in order.
std::vector<std::string> environment_for(const Command &command);

// A null-terminated vector of pointers into `strings`, for execve.
std::vector<char *> pointers_to(std::vector<std::string> &strings);

// Reads the child's output and error pipes to their ends (closing them) and
// reaps `pid`, whose raw status goes to outcome->wait_status. A child still
// writing after `timeout_ms` is killed and the reading stops; returns false then.
bool collect_child(pid_t pid, int out_fd, int err_fd, int timeout_ms, Outcome *outcome);

// The built program `name` ("zin-ar", "zin-nm", "zin-ranlib") or "stand_in_tool".
std::string built_program(const std::string &name);

// Absolute path of `name` on the test's own PATH, or "" when it is not there.
std::string find_on_path(const std::string &name);

// Starts the command with only descriptors 0, 1, 2 open and waits for it. The
// base environment is the test's own without ZIN_* and STAND_IN_* variables.
Outcome run_command(const Command &command);

// The command as a reader can replay it: cwd, environment changes and argv,
// with unprintable bytes escaped.
std::string describe_command(const Command &command);

// The exit code, or -1 when the command did not exit normally.
int exit_code(const Outcome &outcome);

// Runs the command and checks stdout and stderr byte for byte and the exit
// code; a failure shows the command.
void expect_run(const Command &command, const std::string &out, const std::string &err, int code);

// Each string followed by a newline, as the stand-in tool prints its argv.
std::string lines(const std::vector<std::string> &elements);

// Adds or replaces an environment setting of the command.
void set_env(Command &command, const std::string &name, const std::string &value);

// Unsets a variable for the command.
void unset_env(Command &command, const std::string &name);

// Creates every missing directory of `path` (mode 0755); ".." steps are walked as given.
void make_dirs(const std::string &path);

// Writes `content` to a new or truncated file with `mode`.
void write_file(const std::string &path, const std::string &content, unsigned mode);

// Copies a file's bytes to `to` with `mode`.
void copy_file(const std::string &from, const std::string &to, unsigned mode);

// A fresh directory (mode 0755, canonical path) below the build tree.
std::string make_scratch_dir();

// Removes a directory tree; symbolic links are removed, not followed.
void remove_tree(const std::string &path);

// Builds the tree at `root`: copies of the three wrappers in bin_dir, an empty
// plugin file, and the stand-in tool as ar, nm and ranlib in tool_dir.
InstallTree build_install_tree(const std::string &root);

// The plugin path a wrapper in the tree hands to its tool.
std::string tree_plugin(const InstallTree &tree);

// Fixture: a scratch directory per test, removed when the test passed.
class ScratchTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;
    std::string scratch_;
};

// Fixture: a scratch directory with a full installation tree in <scratch>/tree.
class WrapperTest : public ScratchTest {
  protected:
    void SetUp() override;

    // The tree's wrapper `name` started by its absolute path with `args`, in the
    // scratch directory, with a PATH that names no existing directory.
    Command wrapper(const std::string &name, const std::vector<std::string> &args = {}) const;

    // What the stand-in prints when the tree's `tool` gets the plugin and `args`.
    std::string tool_output(const std::string &tool, const std::vector<std::string> &args) const;

    InstallTree tree_;
};

} // namespace e2e
