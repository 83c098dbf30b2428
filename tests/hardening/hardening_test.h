// SPDX-License-Identifier: Apache-2.0
// The fixture of the hardening cases: wrapper runs that must leave no process behind.
#pragma once

#include <cstdlib>
#include <string>
#include <vector>

#include "testkit/files.h"
#include "testkit/process.h"
#include "testkit/wrapper_test.h"

// A tree of the built programs, a working directory <scratch>/cwd, and at the
// end of every case the check that no process was left behind, where the
// platform lets the test see that.
class HardeningTest : public kit::WrapperTest {
  protected:
    void SetUp() override {
        WrapperTest::SetUp();
        subreaper_ = kit::become_subreaper();
        kit::make_dirs(at("cwd"));
    }

    void TearDown() override {
        if (subreaper_) {
            EXPECT_TRUE(kit::reap_leftovers(0).empty()) << "a process was left behind";
        }
        WrapperTest::TearDown();
    }

    // WrapperTest's launch of a wrapper. Sanitized wrappers leave leak checking
    // to the end-to-end tests here: clang's leak checker starts llvm-symbolizer
    // to match its suppressions and never waits for it, a process left behind.
    kit::Launch wrapper(const std::string &name, const std::vector<std::string> &args = {},
                        const std::vector<kit::EnvChange> &env = {}) const {
        kit::Launch launch = WrapperTest::wrapper(name, args, env);
#ifdef ZIN_HARDENING_SANITIZED
        const char *options = std::getenv("ASAN_OPTIONS");
        kit::set_env(launch, "ASAN_OPTIONS",
                     std::string(options != nullptr ? options : "") + ":detect_leaks=0");
#endif
        return launch;
    }

    bool subreaper_ = false; // whether leftover processes can be seen
};
