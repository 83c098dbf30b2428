// SPDX-License-Identifier: Apache-2.0
// The process-execution subsystem in one include.
#pragma once

#include "pex/pex_platform.h"
#include "pex/pex_results.h"
#include "pex/pex_stage.h"
#include "pex/pex_streams.h"
#include "pex/pex_types.h"
#include "pex/pex_unix_backend.h"
#include "pex/pex_win32_backend.h"
