// The benchmark's throwaway installation tree and the file operations it needs.
// Kept apart from the rest so that the tree can come from the tests' kit.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include "bench/spawn_bench.h"
#include "driver/build_config.h"
#include "e2e/install_layout.h"

namespace spawn_bench {
namespace {

// PATH of the zin-nm case: this many entries, the wrapper's directory second
// to last and the tool's directory last, so both searches walk nearly all.
constexpr int path_entries = 30;

// Makes `path` and every missing directory above it.
void make_dirs(const std::string &path) {
    for (std::size_t at = 1; at <= path.size(); ++at) {
        if (at == path.size() || path[at] == '/') {
            std::string prefix = path.substr(0, at);
            if (mkdir(prefix.c_str(), 0755) != 0 && errno != EEXIST) {
                die_errno("mkdir " + prefix);
            }
        }
    }
}

// Writes a new file through a temporary name, so that a running copy of an
// executable is never written into.
void write_file(const std::string &path, const std::string &content, mode_t mode) {
    std::string temporary = path + ".new";
    int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        die_errno("open " + temporary);
    }
    std::size_t done = 0;
    while (done < content.size()) {
        ssize_t wrote = write(fd, content.data() + done, content.size() - done);
        if (wrote <= 0) {
            die_errno("write " + temporary);
        }
        done += static_cast<std::size_t>(wrote);
    }
    if (close(fd) != 0 || chmod(temporary.c_str(), mode) != 0 ||
        rename(temporary.c_str(), path.c_str()) != 0) {
        die_errno("finish " + path);
    }
}

// The symbolic-link-free absolute form of an existing path.
std::string canonical(const std::string &path) {
    char resolved[PATH_MAX];
    if (realpath(path.c_str(), resolved) == nullptr) {
        die_errno("realpath " + path);
    }
    return resolved;
}

} // namespace

std::string read_file(const std::string &path) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        die_errno("open " + path);
    }
    std::string content;
    char buffer[65536];
    ssize_t got;
    while ((got = read(fd, buffer, sizeof buffer)) > 0) {
        content.append(buffer, static_cast<std::size_t>(got));
    }
    close(fd);
    if (got < 0) {
        die_errno("read " + path);
    }
    return content;
}

void remove_tree() {
    nftw(
        ZIN_BENCH_TREE_DIR,
        [](const char *name, const struct stat *, int, FTW *) {
            (void)remove(name);
            return 0;
        },
        16, FTW_DEPTH | FTW_PHYS);
}

// The wrappers and the variants in bin/, the plugin and `ar` where the
// wrappers look, `nm` only on PATH, and the yardsticks' fixed tool, plugin
// and shell script (at ZIN_BENCH_TREE_DIR as compiled into the launchers,
// whatever the canonical root).
Tree build_tree(const Variants &variants) {
    remove_tree();
    make_dirs(ZIN_BENCH_TREE_DIR);
    e2e::InstallTree layout = e2e::install_tree_layout(canonical(ZIN_BENCH_TREE_DIR));
    Tree tree{.root = layout.root,
              .bin_dir = layout.bin_dir,
              .plugin_dir = layout.plugin_dir,
              .tool_dir = layout.tool_dir,
              .yardstick_dir = std::string(ZIN_BENCH_TREE_DIR) + "/yardstick/",
              .path_tool_dir = layout.root + "/path/tool/",
              .search_path = ""};
    for (const std::string *dir : {&tree.bin_dir, &tree.plugin_dir, &tree.tool_dir,
                                   &tree.yardstick_dir, &tree.path_tool_dir}) {
        make_dirs(*dir);
    }

    write_file(tree.bin_dir + "zin-ar", read_file(ZIN_BENCH_ZIN_AR), 0755);
    write_file(tree.bin_dir + "zin-nm", read_file(ZIN_BENCH_ZIN_NM), 0755);
    for (const auto &[name, path] : variants) {
        write_file(tree.bin_dir + "zin-ar." + name, read_file(path), 0755);
    }
    std::string tool = read_file(ZIN_BENCH_NULL_TOOL);
    write_file(tree.yardstick_dir + "ar", tool, 0755);
    write_file(tree.tool_dir + "ar", tool, 0755);
    write_file(tree.path_tool_dir + "nm", tool, 0755);
    write_file(tree.yardstick_dir + plugin_file_name, "", 0644);
    write_file(tree.plugin_dir + plugin_file_name, "", 0644);
    write_file(tree.yardstick_dir + "zin-ar.sh",
               "#!/bin/sh\nexec " + tree.yardstick_dir + "ar --plugin " + tree.yardstick_dir +
                   plugin_file_name + " \"$@\"\n",
               0755);

    for (int i = 1; i <= path_entries - 2; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "/path/d%02d", i);
        make_dirs(tree.root + name);
        tree.search_path += tree.root + name + ":";
    }
    tree.search_path += tree.bin_dir.substr(0, tree.bin_dir.size() - 1) + ":" +
                        tree.path_tool_dir.substr(0, tree.path_tool_dir.size() - 1);
    return tree;
}

// The tool for memory figures has hardly a page of its own, so the maximum
// that wait4 reports over a launcher and its tool is the launcher's.
void install_rss_tool(const Tree &tree) {
    std::string tool = read_file(ZIN_BENCH_RSS_TOOL);
    write_file(tree.yardstick_dir + "ar", tool, 0755);
    write_file(tree.tool_dir + "ar", tool, 0755);
    write_file(tree.path_tool_dir + "nm", tool, 0755);
}

} // namespace spawn_bench
