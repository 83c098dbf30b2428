// SPDX-License-Identifier: Apache-2.0
#include "testkit/install_tree.h"

#include <algorithm>
#include <vector>

#include "driver/build_config.h"
#include "testkit/files.h"

namespace kit {

namespace {

// The components of a directory path: each ends with its run of '/'.
std::vector<std::string> components(const std::string &path) {
    std::vector<std::string> parts;
    for (std::size_t start = 0; start < path.size();) {
        std::size_t end = path.find_first_not_of('/', path.find('/', start));
        parts.push_back(path.substr(start, end - start));
        start = end;
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

const char program_suffix[] = ZIN_TESTKIT_PROGRAM_SUFFIX;

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

InstallTree build_install_tree(const std::string &root, const TreePrograms &programs) {
    InstallTree tree = install_tree_layout(root);
    make_dirs(tree.bin_dir);
    make_dirs(tree.exec_dir + target_machine + "/" + toolchain_version + "/");
    make_dirs(tree.plugin_dir);
    make_dirs(tree.tool_dir);
    copy_file(programs.zin_ar, tree.bin_dir + "zin-ar" + program_suffix, 0755);
    copy_file(programs.zin_nm, tree.bin_dir + "zin-nm" + program_suffix, 0755);
    copy_file(programs.zin_ranlib, tree.bin_dir + "zin-ranlib" + program_suffix, 0755);
    write_file(tree_plugin(tree), "", 0644);
    for (const char *tool : {"ar", "nm", "ranlib"}) {
        copy_file(programs.tool, tree.tool_dir + tool + program_suffix, 0755);
    }
    return tree;
}

std::string tree_plugin(const InstallTree &tree) {
    return tree.plugin_dir + plugin_file_name;
}

} // namespace kit
