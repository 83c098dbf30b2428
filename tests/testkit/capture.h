// SPDX-License-Identifier: Apache-2.0
// What code run in this process writes to its own standard error.
#pragma once

#include <functional>
#include <string>

namespace kit {

// Runs `action` with descriptor 2 sent to a temporary file; returns what was written there.
std::string capture_stderr(const std::function<void()> &action);

} // namespace kit
