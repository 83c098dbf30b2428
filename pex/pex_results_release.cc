// SPDX-License-Identifier: Apache-2.0
// Releasing a pipeline and everything it holds.
#include <cstdio>
#include <cstdlib>

#include "pex/pex_results.h"
#include "pex/pex_stage.h"
#include "support/support_platform.h"

void pex_release(Pipeline *pipeline) {
    const PexBackend *backend = pipeline->backend;
    if (pipeline->next_input_fd > 0) {
        backend->close_fd(pipeline, pipeline->next_input_fd);
    }
    if (pipeline->stderr_pipe_fd > 0) {
        backend->close_fd(pipeline, pipeline->stderr_pipe_fd);
    }
    if (pipeline->output_stream != nullptr) {
        std::fclose(pipeline->output_stream);
    }
    if (pipeline->error_stream != nullptr) {
        std::fclose(pipeline->error_stream);
    }
    // An input file stream that no stage start consumed has no other owner.
    if (pipeline->input_stream != nullptr) {
        std::fclose(pipeline->input_stream);
    }
    if (pipeline->waited_count < pipeline->stage_count) {
        // Children whose statuses nobody asked for are ended, not waited out.
        pipeline->flags &= ~PEX_INIT_TIMES;
        const char *message = nullptr;
        int error_number = 0;
        pex_collect_statuses(pipeline, 1, &message, &error_number);
    }
    if (pipeline->next_input_path_owned != 0) {
        std::free(pipeline->next_input_path);
    }
    std::free(pipeline->child_pids);
    std::free(pipeline->statuses);
    std::free(pipeline->times);
    for (std::int32_t i = 0; i < pipeline->temp_file_count; ++i) {
        platform_remove(pipeline->temp_files[i]);
        std::free(pipeline->temp_files[i]);
    }
    std::free(pipeline->temp_files);
    if (backend->release_backend != nullptr) {
        backend->release_backend(pipeline);
    }
    std::free(pipeline);
}
