// SPDX-License-Identifier: Apache-2.0
// Making a pipeline record.
#include "pex/pex_platform.h"
#include "pex/pex_stage.h"
#include "support/checked_alloc.h"

Pipeline *pex_create_with_backend(unsigned flags, const char *program_name, const char *temp_base,
                                  const PexBackend *backend) {
    auto *pipeline = static_cast<Pipeline *>(checked_malloc(sizeof(Pipeline)));
    pipeline->flags = flags;
    pipeline->program_name = program_name;
    pipeline->temp_base = temp_base;
    pipeline->next_input_fd = 0;
    pipeline->next_input_path = nullptr;
    pipeline->next_input_path_owned = 0;
    pipeline->stderr_pipe_fd = -1;
    pipeline->stage_count = 0;
    pipeline->child_pids = nullptr;
    pipeline->statuses = nullptr;
    pipeline->times = nullptr;
    pipeline->waited_count = 0;
    pipeline->input_stream = nullptr;
    pipeline->output_stream = nullptr;
    pipeline->error_stream = nullptr;
    pipeline->temp_file_count = 0;
    pipeline->temp_files = nullptr;
    pipeline->backend = backend;
    pipeline->backend_data = nullptr;
    return pipeline;
}

Pipeline *pex_create(unsigned flags, const char *program_name, const char *temp_base) {
    return pex_create_with_backend(flags, program_name, temp_base, pex_host_backend);
}
