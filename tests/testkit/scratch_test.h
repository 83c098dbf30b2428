// SPDX-License-Identifier: Apache-2.0
// The fixture of the tests that work in a scratch directory of their own.
#pragma once

#include <gtest/gtest.h>
#include <string>

namespace kit {

// Fixture: a scratch directory per test, kept for a look when the test failed.
class ScratchTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // The path of `relative` in the scratch directory.
    std::string at(const std::string &relative) const { return scratch_ + "/" + relative; }

    std::string scratch_;
};

} // namespace kit
