// SPDX-License-Identifier: Apache-2.0
// The pipeline fixtures on Windows hosts.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <io.h>
#include <string>
#include <windows.h>

#include "pex/hygiene.h"
#include "pex/hygiene_internal.h"
#include "support/support_platform_windows.h"

namespace {

HANDLE watchdog_timer = nullptr;

// Ends the process: a test has hung.
void CALLBACK watchdog_fired(void *, BOOLEAN) {
    std::fputs("hygiene watchdog: the test hung, ending the process\n", stderr);
    std::fflush(stderr);
    TerminateProcess(GetCurrentProcess(), EXIT_FAILURE);
}

} // namespace

const char *const null_device = "NUL";

std::FILE *open_failing_stream(int *close_errno) {
    // Wine's fclose reports no failed flush, so the descriptor goes from
    // under the stream and its close fails too.
    int fds[2];
    if (_pipe(fds, 4096, _O_BINARY | _O_NOINHERIT) != 0) {
        return nullptr;
    }
    std::FILE *stream = _fdopen(fds[1], "wb");
    _close(fds[0]);
    _close(fds[1]);
    *close_errno = EBADF;
    return stream;
}

bool name_temp_directory(const std::string &directory) {
    wchar_t *wide = platform_utf8_to_wide(directory.c_str());
    bool named = wide != nullptr && SetEnvironmentVariableW(L"TMPDIR", wide);
    std::free(wide);
    return named;
}

void set_watchdog(unsigned seconds) {
    if (watchdog_timer != nullptr) {
        DeleteTimerQueueTimer(nullptr, watchdog_timer, INVALID_HANDLE_VALUE);
        watchdog_timer = nullptr;
    }
    if (seconds != 0) {
        CreateTimerQueueTimer(&watchdog_timer, nullptr, watchdog_fired, nullptr, seconds * 1000, 0,
                              WT_EXECUTEONLYONCE);
    }
}
