// SPDX-License-Identifier: Apache-2.0
// The Win32 operation table and its simple descriptor and stream slots. Every
// descriptor the pipeline holds is opened without inheritance: the child
// gets its three standard handles through an explicit list, and nothing else
// may keep a pipe open behind the pipeline's back.
#include "pex/pex_win32_backend.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include "support/support_platform.h"

namespace {

// Bytes a new pipe buffers.
constexpr unsigned pipe_buffer_size = 65536;

// The C runtime's translation mode for a binary_mode request.
int translation(int binary_mode) {
    return binary_mode != 0 ? _O_BINARY : _O_TEXT;
}

// Slot 1: the file opened read-only, in binary or text mode.
int win32_open_for_read(Pipeline *, const char *name, int binary_mode) {
    return platform_open(name, _O_RDONLY | _O_NOINHERIT | translation(binary_mode), 0);
}

// Slot 2: the file created if missing, truncated or appended to.
int win32_open_for_write(Pipeline *, const char *name, int binary_mode, int append) {
    int mode = _O_WRONLY | _O_CREAT | _O_NOINHERIT | translation(binary_mode);
    mode |= append != 0 ? _O_APPEND : _O_TRUNC;
    return platform_open(name, mode, _S_IREAD | _S_IWRITE);
}

// Slot 4: _close(fd).
int win32_close_fd(Pipeline *, int fd) {
    return _close(fd);
}

// Slot 6: a pipe whose ends no child inherits unless handed to it.
int win32_make_pipe(Pipeline *, int *fds, int binary_mode) {
    return _pipe(fds, pipe_buffer_size, _O_NOINHERIT | translation(binary_mode));
}

// Gives `fd` the translation mode asked for; false with errno set.
bool set_translation(int fd, int binary_mode) {
    return _setmode(fd, translation(binary_mode)) != -1;
}

// Slot 7: a read stream over `fd` in the mode asked for.
std::FILE *win32_read_stream_from_fd(Pipeline *, int fd, int binary_mode) {
    if (!set_translation(fd, binary_mode)) {
        return nullptr;
    }
    return _fdopen(fd, binary_mode != 0 ? "rb" : "r");
}

// Slot 8: a write stream over `fd`, kept from later children so that the
// reader sees end of file once the caller closes the stream.
std::FILE *win32_write_stream_from_fd(Pipeline *, int fd, int binary_mode) {
    auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    if (handle == INVALID_HANDLE_VALUE) {
        return nullptr; // errno EBADF, from _get_osfhandle
    }
    if (!SetHandleInformation(handle, HANDLE_FLAG_INHERIT, 0)) {
        errno = EBADF;
        return nullptr;
    }
    if (!set_translation(fd, binary_mode)) {
        return nullptr;
    }
    return _fdopen(fd, binary_mode != 0 ? "wb" : "w");
}

} // namespace

const PexBackend pex_win32_backend = {
    .open_for_read = win32_open_for_read,
    .open_for_write = win32_open_for_write,
    .spawn_child = pex_win32_spawn_child,
    .close_fd = win32_close_fd,
    .wait_child = pex_win32_wait_child,
    .make_pipe = win32_make_pipe,
    .read_stream_from_fd = win32_read_stream_from_fd,
    .write_stream_from_fd = win32_write_stream_from_fd,
    .release_backend = nullptr, // no state to release
};
