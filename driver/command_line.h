// SPDX-License-Identifier: Apache-2.0
// Rewriting the wrapper's command line; pure functions, nothing is run.
#pragma once

#include "driver/personality.h"

// What take_b_option found.
enum class BOption {
    absent,        // no element starts with "-B"
    taken,         // removed from argv; *directory holds the prefix
    missing_value, // "-B" was the last argument
};

// Finds the first argv element starting with "-B" (argv[1] on), removes it and,
// in the separate form, its value, lowering *argc; *directory becomes the value,
// with '/' appended (new checked string) when it has two or more characters and
// does not end in '/'.
BOption take_b_option(int *argc, char **argv, const char **directory);

// The tool's null-terminated argument vector (checked_calloc, argc + 4 slots):
// tool_path, "--plugin", plugin_path, argv[1..argc-1]. With dash_first_argument
// a first argument not starting with '-' is replaced in argv by a new "-" + it.
const char **build_tool_argv(const WrapperPersonality &personality, int argc, char **argv,
                             const char *tool_path, const char *plugin_path);

// The length of a chain of wrappers that run one another at which a wrapper
// stops instead of running its tool.
inline constexpr int max_nested_runs = 8;

// How many "--plugin <value>" pairs open argv[1..argc-1]: each wrapper that
// runs another wrapper as its tool puts one more in front.
int leading_plugin_options(int argc, char *const *argv);
