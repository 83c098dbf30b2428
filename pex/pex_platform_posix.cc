// SPDX-License-Identifier: Apache-2.0
// POSIX hosts start their children with the Unix back end.
#include "pex/pex_platform.h"
#include "pex/pex_unix_backend.h"

const PexBackend *const pex_host_backend = &pex_unix_backend;
