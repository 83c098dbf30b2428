// SPDX-License-Identifier: Apache-2.0
#include "testkit/fail.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace kit {

namespace {

void exit_with_message(const std::string &what) {
    std::fprintf(stderr, "%s\n", what.c_str());
    std::exit(2);
}

void (*failure_reporter)(const std::string &) = exit_with_message;

} // namespace

void fail(const std::string &what) {
    failure_reporter(what);
}

std::string with_errno(const std::string &what) {
    return what + ": " + std::strerror(errno);
}

void set_failure_reporter(void (*reporter)(const std::string &what)) {
    failure_reporter = reporter;
}

} // namespace kit
