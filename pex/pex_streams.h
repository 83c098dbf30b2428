// SPDX-License-Identifier: Apache-2.0
// Exchanging data with a pipeline through stdio streams. Failures: null with errno set.
#pragma once

#include "pex/pex_types.h"

// A stream writing the file the first stage will read (owned by the pipeline); a
// file the pipeline named itself is removed at release unless temporaries are kept.
std::FILE *pex_open_input_file(Pipeline *pipeline, unsigned flags, const char *in_name);

// A stream writing a pipe the first stage will read (owned by the caller).
std::FILE *pex_open_input_pipe(Pipeline *pipeline, int binary_mode);

// A stream reading the last started stage's output (owned by the pipeline).
std::FILE *pex_output_stream(Pipeline *pipeline, int binary_mode);

// A stream reading the PEX_STDERR_TO_PIPE pipe (owned by the pipeline).
std::FILE *pex_error_stream(Pipeline *pipeline, int binary_mode);
