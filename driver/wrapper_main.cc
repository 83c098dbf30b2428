// SPDX-License-Identifier: Apache-2.0
// One wrapper run: relocate, build the search lists, take -B, look up the
// plugin and the tool, run the tool and pass on its status. Nothing is freed:
// the process ends right after the tool.
#include "driver/wrapper_main.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "driver/build_config.h"
#include "driver/command_line.h"
#include "driver/driver_platform.h"
#include "driver/exit_status.h"
#include "lookup/file_identity.h"
#include "lookup/relocated_prefix.h"
#include "lookup/relocation_program_path.h"
#include "lookup/search_list.h"
#include "pex/pex_results.h"
#include "pex/pex_types.h"
#include "support/join_strings.h"
#include "support/support_platform.h"

namespace {

// `directory` relocated like the program, or the configured constant itself.
// `resolved_path` comes from relocation_program_path, so the keep-links entry
// point relocates as relocated_prefix would from the original path, and the
// program's path is walked once per run instead of once per directory.
const char *installation_dir(const char *resolved_path, const char *directory) {
    const char *relocated =
        relocated_prefix_keep_links(resolved_path, install_bin_prefix, directory);
    return relocated != nullptr ? relocated : directory;
}

// Adds one installation directory to `list`. A ':' in it belongs to a
// directory name (the tree was installed below such a name), so the
// directory is added whole instead of being split into pieces that would be
// searched relative to the current directory.
void add_installation_dir(SearchList *list, const char *directory) {
    if (std::strchr(directory, ':') == nullptr) {
        search_list_from_string(directory, list);
        return;
    }
    std::size_t length = std::strlen(directory);
    search_list_append(list, directory[length - 1] == '/' ? directory
                                                          : join_strings(directory, "/", nullptr));
}

// A found path that holds no '/' (after an empty or one-character -B) names a
// file in the current directory; "./" keeps exec from searching PATH for it
// and the tool from taking the plugin for a library-path name.
const char *in_current_directory(const char *path) {
    return std::strchr(path, '/') != nullptr ? path : join_strings("./", path, nullptr);
}

// Whether the search-list trace was asked for: set and not empty.
bool trace_requested() {
    const char *value = platform_getenv("ZIN_SEARCH_TRACE");
    return value != nullptr && value[0] != '\0';
}

} // namespace

int wrapper_main(const WrapperPersonality &personality, int argc, char **argv) {
    if (argc < 1 || argv == nullptr || argv[0] == nullptr) {
        std::fputs(usage_text, stderr);
        return 1;
    }
    // Each wrapper that a wrapper runs as its tool puts one more "--plugin"
    // pair in front: a chain this long is wrappers finding each other in a
    // loop, which would otherwise go on until process limits stop it.
    if (leading_plugin_options(argc, argv) >= max_nested_runs) {
        std::fprintf(stderr, "%s: '%s' leads back to a wrapper: stopped after %d nested runs\n",
                     argv[0], personality.wrapped_tool_name, max_nested_runs);
        return 1;
    }
    if (trace_requested()) {
        search_list_set_trace(true);
    }

    const char *program_path = argv[0];
    if (const char *exec_prefix = platform_getenv("ZIN_EXEC_PREFIX"); exec_prefix != nullptr) {
        program_path = join_strings(exec_prefix, personality.wrapper_name, nullptr);
    }
    // Found on PATH and resolved once for both directories. Null (allocation
    // failed) makes both relocations null, as relocated_prefix would be.
    const char *resolved_path = relocation_program_path(program_path, 1);
    const char *exec_dir = installation_dir(resolved_path, install_exec_prefix);
    const char *libexec_dir = installation_dir(resolved_path, install_libexec_prefix);

    SearchList tool_dirs{};
    SearchList path_dirs{};
    add_installation_dir(&tool_dirs,
                         join_strings(exec_dir, target_machine, "/", toolchain_version, "/",
                                      tool_dir_relative, target_machine, "/", "bin", nullptr));
    add_installation_dir(&tool_dirs, join_strings(libexec_dir, target_machine, "/",
                                                  toolchain_version, "/", nullptr));
    search_list_from_env("PATH", &path_dirs);

    const char *b_directory = nullptr;
    switch (take_b_option(&argc, argv, &b_directory)) {
    case BOption::absent:
        break;
    case BOption::missing_value:
        std::fputs(usage_text, stderr);
        return 1;
    case BOption::taken:
        search_list_prepend(&path_dirs, b_directory);
        search_list_prepend(&tool_dirs, b_directory);
        break;
    }

    const char *plugin_path = search_list_find(&tool_dirs, plugin_file_name, R_OK);
    if (plugin_path == nullptr) {
        std::fprintf(stderr, "%s: Cannot find plugin '%s'\n", argv[0], plugin_file_name);
        return 1;
    }
    // The running wrapper is passed over as its own tool (a link named like
    // the tool, pointing at the wrapper): it would run itself until process
    // limits stopped it.
    FileIdentity self{};
    const FileIdentity *skip = running_program_identity(&self) ? &self : nullptr;
    const char *tool_path =
        search_list_find_except(&tool_dirs, personality.wrapped_tool_name, X_OK, skip);
    if (tool_path == nullptr) {
        tool_path = search_list_find_except(&path_dirs, personality.wrapped_tool_name, X_OK, skip);
    }
    if (tool_path == nullptr) {
        std::fprintf(stderr, "%s: Cannot find binary '%s'\n", argv[0],
                     personality.wrapped_tool_name);
        return 1;
    }
    plugin_path = in_current_directory(plugin_path);
    tool_path = in_current_directory(tool_path);

    const char **tool_argv = build_tool_argv(personality, argc, argv, tool_path, plugin_path);
    // The tool, too, should start as it would from a shell.
    driver_reset_child_signal();
    int status = 0;
    int error_number = 0;
    const char *message = pex_run_once(PEX_FINAL_STAGE | PEX_PATH_SEARCH, tool_path, tool_argv,
                                       join_strings("zin-", tool_path, nullptr), nullptr, nullptr,
                                       &status, &error_number);
    if (message != nullptr) {
        std::fprintf(stderr, "Error running %s: %s\n", tool_path, message);
        return 1;
    }
    return wrapper_exit_status(status, tool_path);
}
