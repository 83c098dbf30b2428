// SPDX-License-Identifier: Apache-2.0
// The program's one fatal exit: an optional clean-up hook, then exit().
#pragma once

// Called once, without arguments, by fatal_exit before the program ends; null by default.
extern void (*fatal_exit_hook)();

// Runs fatal_exit_hook when set, then exit(status) (handlers run, streams flushed).
[[noreturn]] void fatal_exit(int status);
