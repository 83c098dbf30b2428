// SPDX-License-Identifier: Apache-2.0
// Starting one stage: choosing its three descriptors, then the child.
#include <cerrno>
#include <cstdlib>

#include "pex/pex_stage.h"
#include "pex/pex_stage_internal.h"
#include "support/checked_alloc.h"
#include "support/join_strings.h"

namespace {

// What one stage start holds outside the pipeline record.
struct StageFiles {
    int in_fd;
    int out_fd;
    int err_fd;
    char *owned_name; // a joined output name this call must free
};

// 1 when `flag` is in `flags`: the boolean the back-end slots take.
int has(unsigned flags, unsigned flag) {
    return (flags & flag) != 0 ? 1 : 0;
}

// The stage's standard input: the pending file (after every earlier stage has
// ended) or the pipeline's input descriptor.
const char *open_stage_input(Pipeline *pipeline, unsigned flags, StageFiles *files,
                             int *error_number) {
    if (pipeline->next_input_path == nullptr) {
        files->in_fd = pipeline->next_input_fd;
        if (files->in_fd < 0) {
            *error_number = 0;
            return "pipeline already complete";
        }
        return nullptr;
    }
    const char *message = nullptr;
    if (pex_collect_statuses(pipeline, 0, &message, error_number) == 0) {
        return message;
    }
    files->in_fd = pipeline->backend->open_for_read(pipeline, pipeline->next_input_path,
                                                    has(flags, PEX_BINARY_IN));
    if (files->in_fd < 0) {
        *error_number = errno;
        return "open temporary file";
    }
    if (pipeline->next_input_path_owned != 0) {
        std::free(pipeline->next_input_path);
        pipeline->next_input_path_owned = 0;
    }
    pipeline->next_input_path = nullptr;
    return nullptr;
}

// Opens the output file of a stage (final or temporary) with the stage's modes.
const char *open_output_file(Pipeline *pipeline, unsigned flags, const char *name,
                             StageFiles *files, int *error_number) {
    files->out_fd = pipeline->backend->open_for_write(pipeline, name, has(flags, PEX_BINARY_OUT),
                                                      has(flags, PEX_APPEND_OUT));
    if (files->out_fd < 0) {
        *error_number = errno;
        return "open temporary output file";
    }
    return nullptr;
}

// The last stage writes standard output or a named file; the pipeline is
// complete from here on, even when this start fails.
const char *open_final_output(Pipeline *pipeline, unsigned flags, const char *outname,
                              StageFiles *files, int *error_number) {
    pipeline->next_input_fd = -1;
    if (outname == nullptr) {
        files->out_fd = 1;
        return nullptr;
    }
    const char *name = outname;
    if ((flags & PEX_NAME_IS_SUFFIX) != 0) {
        // The output would go to a temporary file whose name the caller
        // never learns and which release removes: refused before it is made.
        if (pipeline->temp_base == nullptr) {
            *error_number = EINVAL;
            return "PEX_NAME_IS_SUFFIX on the final stage needs a temporary base";
        }
        files->owned_name = join_strings(pipeline->temp_base, outname, nullptr);
        name = files->owned_name;
    }
    const char *message = open_output_file(pipeline, flags, name, files, error_number);
    if (message == nullptr) {
        std::free(files->owned_name);
        files->owned_name = nullptr;
    }
    return message;
}

// A non-final stage writes a temporary file that the next stage will read.
const char *open_temporary_output(Pipeline *pipeline, unsigned flags, const char *outname,
                                  StageFiles *files, int *error_number) {
    char *name = pex_temp_name(pipeline, flags, outname);
    if (name == nullptr) {
        *error_number = 0;
        return "could not create temporary file";
    }
    bool callers_name = name == outname;
    if ((pipeline->flags & PEX_INIT_KEEP_TEMPS) == 0) {
        pex_add_temp_file(pipeline, callers_name ? checked_strdup(name) : name);
        pipeline->next_input_path_owned = 0;
    } else {
        pipeline->next_input_path_owned = callers_name ? 0 : 1;
    }
    pipeline->next_input_path = name;
    return open_output_file(pipeline, flags, name, files, error_number);
}

// The stage's standard output: final output, a pipe to the next stage, or a
// temporary file.
const char *open_stage_output(Pipeline *pipeline, unsigned flags, const char *outname,
                              StageFiles *files, int *error_number) {
    if ((flags & PEX_FINAL_STAGE) != 0) {
        return open_final_output(pipeline, flags, outname, files, error_number);
    }
    if ((pipeline->flags & PEX_INIT_PIPES) == 0) {
        return open_temporary_output(pipeline, flags, outname, files, error_number);
    }
    int fds[2];
    if (pipeline->backend->make_pipe(pipeline, fds, has(flags, PEX_BINARY_OUT)) < 0) {
        *error_number = errno;
        return "pipe";
    }
    pipeline->next_input_fd = fds[0];
    files->out_fd = fds[1];
    return nullptr;
}

// The stage's standard error: a named file, a new pipe the pipeline keeps, or
// the caller's standard error.
const char *open_stage_error(Pipeline *pipeline, unsigned flags, const char *errname,
                             StageFiles *files, int *error_number) {
    if (errname != nullptr && (flags & PEX_STDERR_TO_PIPE) != 0) {
        *error_number = 0;
        return "both ERRNAME and PEX_STDERR_TO_PIPE specified.";
    }
    if (pipeline->stderr_pipe_fd != -1) {
        *error_number = 0;
        return "PEX_STDERR_TO_PIPE used in the middle of pipeline";
    }
    if (errname != nullptr) {
        files->err_fd = pipeline->backend->open_for_write(
            pipeline, errname, has(flags, PEX_BINARY_ERR), has(flags, PEX_APPEND_ERR));
        if (files->err_fd < 0) {
            *error_number = errno;
            return "open error file";
        }
        return nullptr;
    }
    if ((flags & PEX_STDERR_TO_PIPE) == 0) {
        files->err_fd = 2;
        return nullptr;
    }
    int fds[2];
    if (pipeline->backend->make_pipe(pipeline, fds, has(flags, PEX_BINARY_ERR)) < 0) {
        *error_number = errno;
        return "pipe";
    }
    pipeline->stderr_pipe_fd = fds[0];
    files->err_fd = fds[1];
    return nullptr;
}

// Starts the child and records it. The back end closes the parent's copies of
// the three descriptors whatever its result, so none is left to this call.
const char *start_child(Pipeline *pipeline, unsigned flags, const char *executable,
                        const char *const *argv, const char *const *env, StageFiles *files,
                        int *error_number) {
    // The slot is made first: running out of memory once the child runs would
    // end the program with a child nobody waits for.
    std::size_t count = static_cast<std::size_t>(pipeline->stage_count) + 1;
    pipeline->child_pids =
        static_cast<pid_t *>(checked_realloc(pipeline->child_pids, count * sizeof(pid_t)));
    // A piped stage's child must not hold the read end meant for the next stage.
    int child_close_fd = (pipeline->flags & PEX_INIT_PIPES) != 0 ? pipeline->next_input_fd : -1;
    const char *message = nullptr;
    pid_t pid = pipeline->backend->spawn_child(pipeline, static_cast<int>(flags), executable, argv,
                                               env, files->in_fd, files->out_fd, files->err_fd,
                                               child_close_fd, &message, error_number);
    files->in_fd = 0;
    files->out_fd = 1;
    files->err_fd = 2;
    if (pid < 0) {
        return message;
    }
    pipeline->child_pids[count - 1] = pid;
    pipeline->stage_count = static_cast<std::int32_t>(count);
    return nullptr;
}

// Closes what a failed start still holds, each descriptor once.
void clean_up_failed_stage(Pipeline *pipeline, StageFiles *files) {
    const PexBackend *backend = pipeline->backend;
    if (files->in_fd > 0) {
        backend->close_fd(pipeline, files->in_fd);
        // A failed output pipe leaves the input descriptor named there too.
        if (pipeline->next_input_fd == files->in_fd) {
            pipeline->next_input_fd = -1;
        }
    }
    if (files->out_fd >= 0 && files->out_fd != 1) {
        backend->close_fd(pipeline, files->out_fd);
    }
    // No error descriptor is left: open_stage_error sets one only when it
    // succeeds, and after it only start_child can fail, which hands all
    // three to the back end.
    std::free(files->owned_name);
}

} // namespace

const char *pex_run_stage_env(Pipeline *pipeline, unsigned flags, const char *executable,
                              const char *const *argv, const char *const *env, const char *outname,
                              const char *errname, int *error_number) {
    if (pipeline->input_stream != nullptr) {
        int closed = std::fclose(pipeline->input_stream);
        pipeline->input_stream = nullptr;
        if (closed == EOF) {
            *error_number = errno;
            return "closing pipeline input file";
        }
    }
    StageFiles files = {-1, -1, -1, nullptr};
    const char *message = open_stage_input(pipeline, flags, &files, error_number);
    if (message != nullptr) {
        return message;
    }
    message = open_stage_output(pipeline, flags, outname, &files, error_number);
    if (message == nullptr) {
        message = open_stage_error(pipeline, flags, errname, &files, error_number);
    }
    if (message == nullptr) {
        message = start_child(pipeline, flags, executable, argv, env, &files, error_number);
    }
    if (message != nullptr) {
        clean_up_failed_stage(pipeline, &files);
    }
    return message;
}

const char *pex_run_stage(Pipeline *pipeline, unsigned flags, const char *executable,
                          const char *const *argv, const char *outname, const char *errname,
                          int *error_number) {
    return pex_run_stage_env(pipeline, flags, executable, argv, nullptr, outname, errname,
                             error_number);
}
