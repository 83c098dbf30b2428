// SPDX-License-Identifier: Apache-2.0
// How a failed step of the test kit is reported.
#pragma once

#include <string>

namespace kit {

// Reports a failed kit step; `what` names the step and its path. By default
// the text goes to standard error and the process exits with status 2, as a
// benchmark cannot go on; the tests' main makes it a failure of the test.
void fail(const std::string &what);

// `what` followed by ": " and the text of the current errno, for fail().
std::string with_errno(const std::string &what);

// Replaces how fail() reports.
void set_failure_reporter(void (*reporter)(const std::string &what));

} // namespace kit
