// SPDX-License-Identifier: Apache-2.0
// What the stage sources and the streams share beyond pex_stage.h; not part
// of the pipeline's interface.
#pragma once

#include "pex/pex_types.h"

// Appends `name` (taking ownership) to the files removed at release.
void pex_add_temp_file(Pipeline *pipeline, char *name);
