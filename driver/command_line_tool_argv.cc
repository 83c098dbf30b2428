// SPDX-License-Identifier: Apache-2.0
// The argument vector handed to the wrapped tool.
#include "driver/command_line.h"
#include "support/checked_alloc.h"
#include "support/join_strings.h"

const char **build_tool_argv(const WrapperPersonality &personality, int argc, char **argv,
                             const char *tool_path, const char *plugin_path) {
    if (argc < 1) {
        argc = 1;
    }
    // argc + 3 filled slots and the terminating null.
    auto **tool_argv = static_cast<const char **>(
        checked_calloc(static_cast<std::size_t>(argc) + 4, sizeof(char *)));
    tool_argv[0] = tool_path;
    tool_argv[1] = "--plugin";
    tool_argv[2] = plugin_path;
    // ar takes its operation letters as the first argument with or without a
    // dash; the plugin option in front makes the dash mandatory.
    if (personality.dash_first_argument && argc >= 2 && argv[1][0] != '-') {
        argv[1] = join_strings("-", argv[1], nullptr);
    }
    for (int index = 1; index < argc; ++index) {
        tool_argv[index + 2] = argv[index];
    }
    tool_argv[argc + 2] = nullptr;
    return tool_argv;
}
