// SPDX-License-Identifier: Apache-2.0
// Creating a pipeline, starting its stages, naming temporary files and
// collecting the children's statuses.
#pragma once

#include "pex/pex_types.h"

// A new pipeline over `backend` (never null; allocation failure ends the program).
Pipeline *pex_create_with_backend(unsigned flags, const char *program_name, const char *temp_base,
                                  const PexBackend *backend);

// pex_create_with_backend over the host's back end (pex_host_backend:
// pex_unix_backend or pex_win32_backend); `program_name` must not be null.
Pipeline *pex_create(unsigned flags, const char *program_name, const char *temp_base);

// Starts one stage; null, or a static message with *error_number set. A final
// stage whose `outname` is a suffix needs the pipeline's temp_base (EINVAL).
const char *pex_run_stage_env(Pipeline *pipeline, unsigned flags, const char *executable,
                              const char *const *argv, const char *const *env, const char *outname,
                              const char *errname, int *error_number);

// pex_run_stage_env with the caller's environment.
const char *pex_run_stage(Pipeline *pipeline, unsigned flags, const char *executable,
                          const char *const *argv, const char *outname, const char *errname,
                          int *error_number);

// Waits for every started stage not yet waited for; 1, or 0 when a wait failed
// (the last failure's message and number stored).
int pex_collect_statuses(Pipeline *pipeline, int terminate_first, const char **error_message,
                         int *error_number);

// Name of a stage's (or the input's) temporary file: `name` itself, a new joined
// name, or a new file in the temporary directory; null when the file cannot be made.
char *pex_temp_name(Pipeline *pipeline, unsigned flags, const char *name);
