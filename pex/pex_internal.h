// SPDX-License-Identifier: Apache-2.0
// Helpers shared by the pipeline's own sources; not part of its interface.
#pragma once

#include "pex/pex_types.h"

// Appends `name` (taking ownership) to the files removed at release.
void pex_add_temp_file(Pipeline *pipeline, char *name);
