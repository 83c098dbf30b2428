// SPDX-License-Identifier: Apache-2.0
// What the tests that run the built programs share: the programs, the
// wrapper fixture, and the check of a run.
#pragma once

#include <string>
#include <vector>

#include "testkit/install_tree.h"
#include "testkit/launch.h"
#include "testkit/scratch_test.h"

namespace kit {

// The programs this test executable runs, as its build names them
// (zin_test_programs() in tests/CMakeLists.txt).
const TreePrograms &built_programs();

// Each string followed by a newline, as the stand-in tool prints its argv.
std::string lines(const std::vector<std::string> &elements);

// What the stand-in tool lists for these open descriptors.
std::string fd_listing(const std::vector<int> &fds);

// Runs the launch and checks its standard output and error byte for byte and
// its exit code; a failure shows the command.
void expect_run(const Launch &launch, const std::string &out, const std::string &err, int code);

// Fixture: a scratch directory with an installation tree of the built
// programs in <scratch>/tree, the stand-in tool as its ar, nm and ranlib.
class WrapperTest : public ScratchTest {
  protected:
    void SetUp() override;

    // The tree's wrapper `name` (+ program_suffix) started by its absolute path with `args`, in the
    // scratch directory, with a PATH that names no existing directory, then `env`.
    Launch wrapper(const std::string &name, const std::vector<std::string> &args = {},
                   const std::vector<EnvChange> &env = {}) const;

    // Puts the stand-in tool at `prefix` + `tool` (+ program_suffix) and, with `plugin`, an empty
    // plugin at `prefix` + its file name, their directory made first: what a
    // -B value or a PATH entry may offer the wrapper.
    void provide(const std::string &prefix, const std::string &tool, bool plugin = true) const;

    // What the stand-in prints when the tree's `tool` gets the plugin and `args`.
    std::string tool_output(const std::string &tool, const std::vector<std::string> &args) const;

    InstallTree tree_;
};

} // namespace kit
