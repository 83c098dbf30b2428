// SPDX-License-Identifier: Apache-2.0
// Feeding the first stage and reading the last stage's output and a stage's
// standard-error pipe through stdio streams.
#include "pex/pex_streams.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "pex/pex_stage.h"
#include "pex/pex_stage_internal.h"
#include "support/support_platform.h"

namespace {

// Wraps a descriptor the pipeline has just given up; closes it when no stream
// can be made, since nobody else holds it any more.
std::FILE *take_read_stream(Pipeline *pipeline, int fd, int binary_mode) {
    std::FILE *stream = pipeline->backend->read_stream_from_fd(pipeline, fd, binary_mode);
    if (stream == nullptr) {
        int saved_errno = errno;
        pipeline->backend->close_fd(pipeline, fd);
        errno = saved_errno;
    }
    return stream;
}

} // namespace

std::FILE *pex_open_input_file(Pipeline *pipeline, unsigned flags, const char *in_name) {
    if (pipeline->stage_count != 0 || pipeline->next_input_fd > 0 ||
        pipeline->next_input_path != nullptr) {
        errno = EINVAL;
        return nullptr;
    }
    char *name = pex_temp_name(pipeline, flags, in_name);
    if (name == nullptr) {
        return nullptr;
    }
    bool made_here = name != in_name;
    // A file the pipeline created under a name of its choosing is nobody
    // else's to remove; a name the caller gave or built stays on disk.
    bool created_here =
        in_name == nullptr || ((flags & PEX_NAME_IS_SUFFIX) != 0 && pipeline->temp_base == nullptr);
    std::FILE *stream = platform_fopen(name, (flags & PEX_BINARY_OUT) != 0 ? "wb" : "w");
    if (stream == nullptr) {
        int saved_errno = errno;
        // Nobody else knows the file just made for it.
        if (created_here) {
            platform_remove(name);
        }
        if (made_here) {
            std::free(name);
        }
        errno = saved_errno;
        return nullptr;
    }
    if (created_here && (pipeline->flags & PEX_INIT_KEEP_TEMPS) == 0) {
        pex_add_temp_file(pipeline, name);
        pipeline->next_input_path_owned = 0;
    } else {
        pipeline->next_input_path_owned = made_here ? 1 : 0;
    }
    pipeline->next_input_path = name;
    pipeline->input_stream = stream;
    return stream;
}

std::FILE *pex_open_input_pipe(Pipeline *pipeline, int binary_mode) {
    if (pipeline->stage_count > 0 || (pipeline->flags & PEX_INIT_PIPES) == 0 ||
        pipeline->next_input_fd > 0 || pipeline->next_input_path != nullptr) {
        errno = EINVAL;
        return nullptr;
    }
    int mode = binary_mode != 0 ? 1 : 0;
    int fds[2];
    if (pipeline->backend->make_pipe(pipeline, fds, mode) < 0) {
        return nullptr;
    }
    std::FILE *stream = pipeline->backend->write_stream_from_fd(pipeline, fds[1], mode);
    if (stream == nullptr) {
        int saved_errno = errno;
        pipeline->backend->close_fd(pipeline, fds[0]);
        pipeline->backend->close_fd(pipeline, fds[1]);
        errno = saved_errno;
        return nullptr;
    }
    pipeline->next_input_fd = fds[0];
    return stream;
}

std::FILE *pex_output_stream(Pipeline *pipeline, int binary_mode) {
    if (pipeline->next_input_path != nullptr) {
        const char *message = nullptr;
        int error_number = 0;
        if (pex_collect_statuses(pipeline, 0, &message, &error_number) == 0) {
            errno = error_number;
            return nullptr;
        }
        pipeline->output_stream =
            platform_fopen(pipeline->next_input_path, binary_mode != 0 ? "rb" : "r");
        int saved_errno = errno;
        if (pipeline->next_input_path_owned != 0) {
            std::free(pipeline->next_input_path);
            pipeline->next_input_path_owned = 0;
        }
        pipeline->next_input_path = nullptr;
        errno = saved_errno;
        return pipeline->output_stream;
    }
    if (pipeline->next_input_fd > 0) {
        int fd = pipeline->next_input_fd;
        pipeline->next_input_fd = -1;
        pipeline->output_stream = take_read_stream(pipeline, fd, binary_mode);
        return pipeline->output_stream;
    }
    return nullptr;
}

std::FILE *pex_error_stream(Pipeline *pipeline, int binary_mode) {
    if (pipeline->stderr_pipe_fd <= 0) {
        return nullptr;
    }
    int fd = pipeline->stderr_pipe_fd;
    pipeline->stderr_pipe_fd = -1;
    pipeline->error_stream = take_read_stream(pipeline, fd, binary_mode);
    return pipeline->error_stream;
}
