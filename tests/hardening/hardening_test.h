// SPDX-License-Identifier: Apache-2.0
// The fixture of the hardening cases: wrapper runs that must leave nothing behind.
#pragma once

#include <cstdlib>
#include <string>
#include <vector>

#include "testkit/files.h"
#include "testkit/leftovers.h"
#include "testkit/wrapper_test.h"

// A tree of the built programs, and wrappers run in <scratch>/cwd with TMPDIR
// <scratch>/tmp. At the end of every case no descriptor, process (orphans
// included, where the platform lets the test see them) or file in those two
// directories may be left behind.
class HardeningTest : public kit::WrapperTest {
  protected:
    void SetUp() override {
        WrapperTest::SetUp();
        kit::make_dirs(at("cwd"));
        kit::make_dirs(at("tmp"));
        snapshot_ = kit::take_snapshot({at("cwd"), at("tmp")});
    }

    void TearDown() override {
        EXPECT_EQ(kit::left_behind(snapshot_), "");
        WrapperTest::TearDown();
    }

    // WrapperTest's launch of a wrapper, in the working and temporary
    // directories above unless `env` says otherwise. Sanitized wrappers leave
    // leak checking to the end-to-end tests here: clang's leak checker starts
    // llvm-symbolizer to match its suppressions and never waits for it, a
    // process left behind.
    kit::Launch wrapper(const std::string &name, const std::vector<std::string> &args = {},
                        const std::vector<kit::EnvChange> &env = {}) const {
        std::vector<kit::EnvChange> changes = {{"TMPDIR", at("tmp")}};
        changes.insert(changes.end(), env.begin(), env.end());
        kit::Launch launch = WrapperTest::wrapper(name, args, changes);
        launch.cwd = at("cwd");
#ifdef ZIN_HARDENING_SANITIZED
        const char *options = std::getenv("ASAN_OPTIONS");
        kit::set_env(launch, "ASAN_OPTIONS",
                     std::string(options != nullptr ? options : "") + ":detect_leaks=0");
#endif
        return launch;
    }

    kit::Snapshot snapshot_;
};
