// SPDX-License-Identifier: Apache-2.0
// The main of every test program: GoogleTest's, with a failed kit step made
// a failure of the running test.
#include <gtest/gtest.h>

#include "testkit/fail.h"

namespace {

void report_as_test_failure(const std::string &what) {
    ADD_FAILURE() << what;
}

} // namespace

int main(int argc, char **argv) {
    testing::InitGoogleTest(&argc, argv);
    kit::set_failure_reporter(report_as_test_failure);
    return RUN_ALL_TESTS();
}
