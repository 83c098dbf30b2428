// Where an installation tree moved to a directory of the test's keeps its
// files, spelt as the relocated wrappers spell them. Free of the test
// framework, so that the benchmarks lay out their tree the same way.
#include "e2e/install_layout.h"

#include <algorithm>
#include <vector>

#include "driver/build_config.h"

namespace e2e {

namespace {

// The components of a directory path: each ends with its run of '/'.
std::vector<std::string> components(const std::string &path) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    std::size_t at = 0;
    while (at < path.size()) {
        if (path[at] == '/') {
            while (at < path.size() && path[at] == '/') {
                ++at;
            }
            parts.push_back(path.substr(start, at - start));
            start = at;
        } else {
            ++at;
        }
    }
    if (start < path.size()) {
        parts.push_back(path.substr(start));
    }
    return parts;
}

std::size_t common_count(const std::vector<std::string> &a, const std::vector<std::string> &b) {
    std::size_t count = 0;
    while (count < a.size() && count < b.size() && a[count] == b[count]) {
        ++count;
    }
    return count;
}

std::string join_from(const std::vector<std::string> &parts, std::size_t first) {
    std::string joined;
    for (std::size_t i = first; i < parts.size(); ++i) {
        joined += parts[i];
    }
    return joined;
}

} // namespace

InstallTree install_tree_layout(const std::string &root) {
    std::vector<std::string> bin = components(install_bin_prefix);
    std::vector<std::string> exec = components(install_exec_prefix);
    std::vector<std::string> libexec = components(install_libexec_prefix);
    // The tree mirrors the configured directories below the part all three share.
    std::size_t shared = std::min(common_count(bin, exec), common_count(bin, libexec));

    InstallTree tree;
    tree.root = root;
    tree.bin_dir = root + "/" + join_from(bin, shared);
    auto relocated = [&](const std::vector<std::string> &target) {
        std::size_t common = common_count(bin, target);
        std::string dir = tree.bin_dir;
        for (std::size_t i = common; i < bin.size(); ++i) {
            dir += "../";
        }
        return dir + join_from(target, common);
    };
    tree.exec_dir = relocated(exec);
    tree.libexec_dir = relocated(libexec);
    std::string versioned = std::string(target_machine) + "/" + toolchain_version + "/";
    tree.plugin_dir = tree.libexec_dir + versioned;
    tree.tool_dir = tree.exec_dir + versioned + tool_dir_relative + target_machine + "/bin/";
    return tree;
}

} // namespace e2e
