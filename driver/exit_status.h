// SPDX-License-Identifier: Apache-2.0
// Turning the tool's raw wait status into the wrapper's exit status.
#pragma once

// The tool's exit code when it exited; otherwise 1, after printing
// "<tool_path> terminated with signal N [text][, core dumped]\n" when a signal killed it.
int wrapper_exit_status(int wait_status, const char *tool_path);
