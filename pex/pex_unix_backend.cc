// SPDX-License-Identifier: Apache-2.0
// The Unix operation table and its simple descriptor and stream slots.
#include "pex/pex_unix_backend.h"

#include <fcntl.h>
#include <unistd.h>

namespace {

// Slot 1: the file opened read-only; text and binary are the same here.
int unix_open_for_read(Pipeline *, const char *name, int) {
    return open(name, O_RDONLY);
}

// Slot 2: the file created if missing, truncated or appended to.
int unix_open_for_write(Pipeline *, const char *name, int, int append) {
    int mode = append != 0 ? O_WRONLY | O_CREAT | O_APPEND : O_WRONLY | O_CREAT | O_TRUNC;
    return open(name, mode, 0666);
}

// Slot 4: close(fd).
int unix_close_fd(Pipeline *, int fd) {
    return close(fd);
}

// Slot 6: a plain pipe; both ends stay inheritable for the stages.
int unix_make_pipe(Pipeline *, int *fds, int) {
    return pipe(fds);
}

// Slot 7: a read stream over `fd`; its inheritance is left as it was.
std::FILE *unix_read_stream_from_fd(Pipeline *, int fd, int) {
    return fdopen(fd, "r");
}

// Slot 8: a write stream over `fd`, kept from later children so that the
// reader sees end of file once the caller closes the stream.
std::FILE *unix_write_stream_from_fd(Pipeline *, int fd, int) {
    if (fcntl(fd, F_SETFD, FD_CLOEXEC) < 0) {
        return nullptr;
    }
    return fdopen(fd, "w");
}

// Slot 9: the back end keeps no state.
void unix_release_backend(Pipeline *) {}

} // namespace

const PexBackend pex_unix_backend = {
    unix_open_for_read,   unix_open_for_write, pex_unix_spawn_child,     unix_close_fd,
    pex_unix_wait_child,  unix_make_pipe,      unix_read_stream_from_fd, unix_write_stream_from_fd,
    unix_release_backend,
};
