// SPDX-License-Identifier: Apache-2.0
// Reading a pipeline's results, releasing it, and the one-shot run.
#pragma once

#include "pex/pex_types.h"

// Waits for stages not yet waited for, then copies `count` raw wait statuses (zero
// past stage_count); 1, or 0 when collecting failed.
int pex_get_status(Pipeline *pipeline, int count, int *statuses_out);

// Copies `count` time records likewise; 0 when collecting failed or times were not kept.
int pex_get_stage_times(Pipeline *pipeline, int count, PexStageTimes *times_out);

// Closes what is held, reaps every child (ending with SIGTERM those never waited for),
// removes temporary files, frees the pipeline.
void pex_release(Pipeline *pipeline);

// Runs one program through a temporary pipeline; null with its raw wait status in
// *status, or a static message (the pipeline is released either way).
const char *pex_run_once(unsigned flags, const char *executable, const char *const *argv,
                         const char *program_name, const char *outname, const char *errname,
                         int *status, int *error_number);
