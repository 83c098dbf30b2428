// SPDX-License-Identifier: Apache-2.0
// The benchmark's throwaway installation tree, laid out and built with the
// tests' kit.
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "bench/spawn_bench.h"
#include "driver/build_config.h"
#include "testkit/files.h"
#include "testkit/install_tree.h"

namespace spawn_bench {
namespace {

// PATH of the zin-nm case: this many entries, the wrapper's directory second
// to last and the tool's directory last, so both searches walk nearly all.
constexpr int path_entries = 30;

// The symbolic-link-free absolute form of an existing path.
std::string canonical(const std::string &path) {
    char resolved[PATH_MAX];
    if (realpath(path.c_str(), resolved) == nullptr) {
        die_errno("realpath " + path);
    }
    return resolved;
}

} // namespace

// The wrappers and the variants in bin/, the plugin and `ar` where the
// wrappers look, `nm` only on PATH, and the yardsticks' fixed tool, plugin
// and shell script (at ZIN_BENCH_TREE_DIR as compiled into the launchers,
// whatever the canonical root).
Tree build_tree(const Variants &variants) {
    kit::remove_tree(ZIN_BENCH_TREE_DIR);
    kit::make_dirs(ZIN_BENCH_TREE_DIR);
    kit::InstallTree layout = kit::install_tree_layout(canonical(ZIN_BENCH_TREE_DIR));
    Tree tree{.root = layout.root,
              .bin_dir = layout.bin_dir,
              .plugin_dir = layout.plugin_dir,
              .tool_dir = layout.tool_dir,
              .yardstick_dir = std::string(ZIN_BENCH_TREE_DIR) + "/yardstick/",
              .path_tool_dir = layout.root + "/path/tool/",
              .search_path = ""};
    for (const std::string *dir : {&tree.bin_dir, &tree.plugin_dir, &tree.tool_dir,
                                   &tree.yardstick_dir, &tree.path_tool_dir}) {
        kit::make_dirs(*dir);
    }

    kit::write_file(tree.bin_dir + "zin-ar", kit::read_file(ZIN_BENCH_ZIN_AR), 0755);
    kit::write_file(tree.bin_dir + "zin-nm", kit::read_file(ZIN_BENCH_ZIN_NM), 0755);
    for (const auto &[name, path] : variants) {
        kit::write_file(tree.bin_dir + "zin-ar." + name, kit::read_file(path), 0755);
    }
    std::string tool = kit::read_file(ZIN_BENCH_NULL_TOOL);
    kit::write_file(tree.yardstick_dir + "ar", tool, 0755);
    kit::write_file(tree.tool_dir + "ar", tool, 0755);
    kit::write_file(tree.path_tool_dir + "nm", tool, 0755);
    kit::write_file(tree.yardstick_dir + plugin_file_name, "", 0644);
    kit::write_file(tree.plugin_dir + plugin_file_name, "", 0644);
    kit::write_file(tree.yardstick_dir + "zin-ar.sh",
                    "#!/bin/sh\nexec " + tree.yardstick_dir + "ar --plugin " + tree.yardstick_dir +
                        plugin_file_name + " \"$@\"\n",
                    0755);

    for (int i = 1; i <= path_entries - 2; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "/path/d%02d", i);
        kit::make_dirs(tree.root + name);
        tree.search_path += tree.root + name + ":";
    }
    tree.search_path += tree.bin_dir.substr(0, tree.bin_dir.size() - 1) + ":" +
                        tree.path_tool_dir.substr(0, tree.path_tool_dir.size() - 1);
    return tree;
}

} // namespace spawn_bench
