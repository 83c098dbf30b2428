// SPDX-License-Identifier: Apache-2.0
// The pipeline record, its flags, the stage time record and the back-end
// operation table through which a pipeline does all process, descriptor and
// stream work.
//
// Error convention: operations that start or set something up return null on
// success, or a static message naming the failed step (never freed) with an
// errno-style number stored through `error_number` (0 when no call failed).
#pragma once

#include <cstdint>
#include <cstdio>
#include <sys/types.h>

// Pipeline flags, fixed at creation.
inline constexpr unsigned PEX_INIT_TIMES = 0x1;      // record each stage's CPU times
inline constexpr unsigned PEX_INIT_PIPES = 0x2;      // connect stages by pipes, not files
inline constexpr unsigned PEX_INIT_KEEP_TEMPS = 0x4; // never remove temporary files

// Stage flags, per pex_run_stage_env call.
inline constexpr unsigned PEX_FINAL_STAGE = 0x1;     // output to outname or stdout; completes
inline constexpr unsigned PEX_PATH_SEARCH = 0x2;     // executable looked up through PATH
inline constexpr unsigned PEX_NAME_IS_SUFFIX = 0x4;  // outname is a suffix to temp_base
inline constexpr unsigned PEX_MERGE_STDERR = 0x8;    // stderr made a copy of stdout, last
inline constexpr unsigned PEX_BINARY_IN = 0x10;      // binary input file
inline constexpr unsigned PEX_BINARY_OUT = 0x20;     // binary output file or pipe
inline constexpr unsigned PEX_STDERR_TO_PIPE = 0x40; // stderr into a pipe the pipeline keeps
inline constexpr unsigned PEX_BINARY_ERR = 0x80;     // binary error file or pipe
inline constexpr unsigned PEX_APPEND_OUT = 0x100;    // append to the output file
inline constexpr unsigned PEX_APPEND_ERR = 0x200;    // append to the error file

// CPU time of one stage, as reported when it was reaped.
struct PexStageTimes {
    std::int64_t user_sec;
    std::int64_t user_usec;
    std::int64_t system_sec;
    std::int64_t system_usec;
};
static_assert(sizeof(PexStageTimes) == 32, "PexStageTimes is four 64-bit counters");

struct PexBackend;

// One pipeline of child processes; made by pex_create*, freed by pex_release.
struct Pipeline {
    std::uint32_t flags;        // PEX_INIT_* flags
    const char *program_name;   // heads a child's own exec-failure text; not owned
    const char *temp_base;      // base of temporary and suffix names; not owned, may be null
    std::int32_t next_input_fd; // next stage's input: 0 stdin, >0 owned pipe end, -1 complete
    char *next_input_path;      // file the next stage reads; wins over next_input_fd
    std::int32_t next_input_path_owned; // 1 when next_input_path is the pipeline's to free
    std::int32_t stderr_pipe_fd;        // read end of a PEX_STDERR_TO_PIPE pipe, -1 when none
    std::int32_t stage_count;           // stages started
    pid_t *child_pids;                  // stage_count process ids (Windows: handles), in order
    std::int32_t *statuses;             // raw wait statuses of collected stages; null before
    PexStageTimes *times;               // CPU times of collected stages, under PEX_INIT_TIMES
    std::int32_t waited_count;          // stages, from the first, already waited for
    std::FILE *input_stream;            // pex_open_input_file's stream; closed at the next start
    std::FILE *output_stream;           // pex_output_stream's stream; closed by pex_release
    std::FILE *error_stream;            // pex_error_stream's stream; closed by pex_release
    std::int32_t temp_file_count;       // entries in temp_files
    char **temp_files;                  // owned names removed at release, in creation order
    const PexBackend *backend;          // the operation table; not owned
    void *backend_data;                 // private to the back end
};

// The nine operations, in this fixed slot order. Each receives the calling
// pipeline first. Failures: a negative result or null stream with errno set;
// spawn_child and wait_child store a message and number instead.
struct PexBackend {
    // Slot 1: a descriptor open for reading `name`, or negative.
    int (*open_for_read)(Pipeline *pipeline, const char *name, int binary_mode);
    // Slot 2: a descriptor writing `name`, created if missing, truncated unless `append`.
    int (*open_for_write)(Pipeline *pipeline, const char *name, int binary_mode, int append);
    // Slot 3: a child running `executable` on the three descriptors, or -1 with the
    // failed step and its errno stored. Takes over in_fd (unless 0), out_fd (unless 1)
    // and err_fd (unless 2): they are closed when it returns, whatever the result, so
    // the caller closes none of them. A failed start leaves no child behind.
    pid_t (*spawn_child)(Pipeline *pipeline, int flags, const char *executable,
                         const char *const *argv, const char *const *env, int in_fd, int out_fd,
                         int err_fd, int child_close_fd, const char **error_message,
                         int *error_number);
    // Slot 4: closes `fd`: 0, or negative.
    int (*close_fd)(Pipeline *pipeline, int fd);
    // Slot 5: waits for `pid` (ended first when `terminate_first`), storing its raw
    // status and, when `stage_times` is not null, its CPU times; 0, or -1 with the failed
    // step ("wait" on POSIX) and its errno.
    int (*wait_child)(Pipeline *pipeline, pid_t pid, int *status, PexStageTimes *stage_times,
                      int terminate_first, const char **error_message, int *error_number);
    // Slot 6: a pipe, read end in fds[0]: 0, or negative.
    int (*make_pipe)(Pipeline *pipeline, int *fds, int binary_mode);
    // Slot 7: a read stream owning `fd`, or null with `fd` left open.
    std::FILE *(*read_stream_from_fd)(Pipeline *pipeline, int fd, int binary_mode);
    // Slot 8: a write stream owning `fd`, not inherited by later children, or null.
    std::FILE *(*write_stream_from_fd)(Pipeline *pipeline, int fd, int binary_mode);
    // Slot 9: back-end clean-up at release; may be null.
    void (*release_backend)(Pipeline *pipeline);
};
