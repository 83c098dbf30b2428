// SPDX-License-Identifier: Apache-2.0
// Windows hosts start their children with the Win32 back end.
#include "pex/pex_platform.h"
#include "pex/pex_win32_backend.h"

const PexBackend *const pex_host_backend = &pex_win32_backend;
