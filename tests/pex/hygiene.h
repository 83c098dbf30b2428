// Checks that a test leaves no descriptor, child process or temporary file
// behind, and helpers for running code in a forked child.
#pragma once

#include <functional>
#include <set>
#include <string>

#include <gtest/gtest.h>

// The per-process scratch directory, made on first use and named by TMPDIR
// before any temporary file is created (the temporary directory is chosen
// once per process). Mode 0755 so an unprivileged child can reach into it.
const std::string &scratch_directory();

// Descriptors open in this process, from /proc/self/fd.
std::set<int> open_descriptors();

// Names in the scratch directory.
std::set<std::string> scratch_entries();

// Removes a scratch entry (file or directory tree) by name.
void remove_scratch_entry(const std::string &name);

// The whole content of a file, or "<missing>".
std::string read_file(const std::string &path);

// Writes `content` to a new or truncated file.
void write_file(const std::string &path, const std::string &content);

// Reads a descriptor or stream to end of file.
std::string read_all_fd(int fd);
std::string read_all_stream(std::FILE *stream);

// Runs `body` in a forked child and returns its result (0..255) as the
// child's exit code, or 1000 + signal when the child was killed.
int run_in_child(const std::function<int()> &body);

// run_in_child, with the child first dropped to uid/gid 65534: the tests run
// as root, for whom access checks always pass.
int run_as_nobody(const std::function<int()> &body);

// Base fixture: snapshots descriptors at set-up and checks at tear-down that
// none was left open, no child is left, and the scratch directory is empty.
// An alarm ends a hung test.
class HygieneTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;
    // Full path of `name` in the scratch directory.
    std::string scratch(const std::string &name) const;

  private:
    std::set<int> descriptors_before_;
};
