// SPDX-License-Identifier: Apache-2.0
#include "testkit/capture.h"

#include <cstdio>
#include <unistd.h>

#include "testkit/fail.h"
#include "testkit/files.h"

namespace kit {

std::string capture_stderr(const std::function<void()> &action) {
    std::fflush(stderr);
    std::FILE *sink = std::tmpfile();
    int saved = dup(2);
    if (sink == nullptr || saved < 0 || dup2(fileno(sink), 2) < 0) {
        fail(with_errno("capture_stderr"));
        if (sink != nullptr) {
            std::fclose(sink);
        }
        if (saved >= 0) {
            close(saved);
        }
        return "";
    }
    action();
    std::fflush(stderr);
    dup2(saved, 2);
    close(saved);
    std::rewind(sink);
    std::string text = read_stream(sink);
    std::fclose(sink);
    return text;
}

} // namespace kit
