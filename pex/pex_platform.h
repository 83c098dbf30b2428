// SPDX-License-Identifier: Apache-2.0
// Which back end runs the children on this host. The build compiles one of
// pex_platform_posix.cc and pex_platform_windows.cc.
#pragma once

#include "pex/pex_types.h"

// pex_unix_backend on POSIX hosts, pex_win32_backend on Windows.
extern const PexBackend *const pex_host_backend;
