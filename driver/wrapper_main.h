// SPDX-License-Identifier: Apache-2.0
// One whole wrapper run.
#pragma once

#include "driver/personality.h"

// Relocates, looks up plugin and tool, runs the tool and returns the exit status;
// the wrapper's own failures print their message and return 1.
int wrapper_main(const WrapperPersonality &personality, int argc, char **argv);
