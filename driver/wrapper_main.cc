// SPDX-License-Identifier: Apache-2.0
// One wrapper run: relocate, build the search lists, take -B, look up the
// plugin and the tool, run the tool and pass on its status. Nothing is freed:
// the process ends right after the tool.
#include "driver/wrapper_main.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <unistd.h>

#include "driver/build_config.h"
#include "driver/command_line.h"
#include "driver/driver_platform.h"
#include "driver/exit_status.h"
#include "lookup/lookup_platform.h"
#include "lookup/parent_steps.h"
#include "lookup/program_path.h"
#include "lookup/relocated_prefix.h"
#include "lookup/search_list.h"
#include "pex/pex_results.h"
#include "pex/pex_types.h"
#include "support/join_strings.h"
#include "support/support_platform.h"

namespace {

// `directory` relocated like the program, or the configured constant itself.
// `resolved_path` comes from resolve_program_path, so this is what
// relocated_prefix gives for the original path, and the program's path is
// walked once per run instead of once per directory.
const char *installation_dir(const char *resolved_path, const char *directory) {
    const char *relocated = relocate_directory(resolved_path, install_bin_prefix, directory);
    return relocated != nullptr ? relocated : directory;
}

// Whether every name searched in `directory` makes a path shorter than
// PATH_MAX: its prefix (with the '/' the list adds) and `longest_name` fit,
// counted as the host counts them.
bool fits(const char *directory, std::size_t longest_name) {
    std::size_t bytes = std::strlen(directory);
    std::size_t length = platform_path_length(directory);
    if (bytes == 0 || !platform_is_separator(directory[bytes - 1])) {
        ++length;
    }
    return length + longest_name < PATH_MAX;
}

// Adds one installation directory to `list`; false, with the message, when
// it cannot be searched. A directory too long for the names searched in it
// would fail every test with ENAMETOOLONG and hand the search to PATH, where
// another tool would run with this plugin: it is first shortened, and then
// reported if still too long. A list separator (':', ';' on Windows) in it
// belongs to a directory name (the tree was installed below such a name), so
// the directory is added whole instead of being split into pieces searched
// relative to the current directory.
bool add_installation_dir(SearchList *list, const char *directory, std::size_t longest_name,
                          const char *program_name) {
    if (!fits(directory, longest_name)) {
        const char *shorter = remove_parent_steps(directory);
        directory = shorter != nullptr ? shorter : directory;
        if (!fits(directory, longest_name)) {
            std::fprintf(stderr, "%s: installation directory name too long: %s\n", program_name,
                         directory);
            return false;
        }
    }
    if (std::strchr(directory, platform_list_separator) == nullptr) {
        search_list_from_string(directory, list);
    } else {
        search_list_append_directory(list, directory);
    }
    return true;
}

// A found path that holds no separator (after an empty or one-character -B)
// names a file in the current directory; "./" keeps exec from searching PATH
// for it and the tool from taking the plugin for a library-path name.
const char *in_current_directory(const char *path) {
    return path[platform_name_run(path)] != '\0' ? path : join_strings("./", path, nullptr);
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
    if (trace_requested()) {
        search_list_set_trace(true);
    }

    // The system's own name for the program's file where the host has one
    // (Windows: argv[0] may lack the directory and the ".exe"), else argv[0].
    // A prefix names the program's file too: "zin-ar.exe" where programs carry
    // a suffix, which a lookup on PATH would not find as "zin-ar".
    const char *program_path = argv[0];
    if (const char *exec_prefix = platform_getenv("ZIN_EXEC_PREFIX"); exec_prefix != nullptr) {
        program_path = join_strings(exec_prefix, personality.wrapper_name,
                                    platform_executable_suffix, nullptr);
    } else if (const char *own_path = platform_program_path(); own_path != nullptr) {
        program_path = own_path;
    }
    // Found on PATH and resolved once for both directories. Null (allocation
    // failed) makes both relocations null, as relocated_prefix would be.
    const char *resolved_path = resolve_program_path(program_path);
    const char *exec_dir = installation_dir(resolved_path, install_exec_prefix);
    const char *libexec_dir = installation_dir(resolved_path, install_libexec_prefix);

    // "ar", or "ar.exe" where programs carry a suffix.
    const char *tool_file =
        platform_executable_suffix[0] == '\0'
            ? personality.wrapped_tool_name
            : join_strings(personality.wrapped_tool_name, platform_executable_suffix, nullptr);
    SearchList tool_dirs{};
    SearchList path_dirs{};
    std::size_t longest_name = platform_path_length(plugin_file_name);
    if (platform_path_length(tool_file) > longest_name) {
        longest_name = platform_path_length(tool_file);
    }
    if (!add_installation_dir(&tool_dirs,
                              join_strings(exec_dir, target_machine, "/", toolchain_version, "/",
                                           tool_dir_relative, target_machine, "/", "bin", nullptr),
                              longest_name, argv[0]) ||
        !add_installation_dir(
            &tool_dirs,
            join_strings(libexec_dir, target_machine, "/", toolchain_version, "/", nullptr),
            longest_name, argv[0])) {
        return 1;
    }
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
    // Each wrapper that a wrapper runs as its tool puts one more "--plugin"
    // pair in front: a chain this long is wrappers finding each other in a
    // loop, which would otherwise go on until process limits stop it. The
    // pairs are counted once -B is taken, as a script standing in for the
    // tool may put one in front of them.
    if (leading_plugin_options(argc, argv) >= max_nested_runs) {
        std::fprintf(stderr, "%s: '%s' leads back to a wrapper: stopped after %d nested runs\n",
                     argv[0], personality.wrapped_tool_name, max_nested_runs);
        return 1;
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
    const char *tool_path = search_list_find_except(&tool_dirs, tool_file, X_OK, skip);
    if (tool_path == nullptr) {
        tool_path = search_list_find_except(&path_dirs, tool_file, X_OK, skip);
    }
    if (tool_path == nullptr) {
        std::fprintf(stderr, "%s: Cannot find binary '%s'\n", argv[0],
                     personality.wrapped_tool_name);
        return 1;
    }
    plugin_path = in_current_directory(plugin_path);
    tool_path = in_current_directory(tool_path);

    const char **tool_argv = build_tool_argv(personality, argc, argv, tool_path, plugin_path);
    // An ignored SIGCHLD, inherited from the caller, would make the kernel
    // reap the tool by itself and the wait fail; the tool, too, should start
    // as it would from a shell.
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
