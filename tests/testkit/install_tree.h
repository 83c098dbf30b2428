// SPDX-License-Identifier: Apache-2.0
// Throwaway installation trees, laid out from the configured constants.
#pragma once

#include <string>

namespace kit {

// The directories of an installation tree as the wrappers compute them after
// relocation ("../" steps kept); every directory string ends in '/'.
struct InstallTree {
    std::string root;        // top of the tree, canonical, no trailing '/'
    std::string bin_dir;     // holds zin-ar, zin-nm, zin-ranlib (+ program_suffix)
    std::string exec_dir;    // relocated library directory
    std::string libexec_dir; // relocated libexec directory
    std::string plugin_dir;  // libexec_dir + <target>/<version>/
    std::string tool_dir;    // exec_dir + <target>/<version>/ + climb + <target>/bin/
};

// The programs a tree is built from.
struct TreePrograms {
    std::string zin_ar;
    std::string zin_nm;
    std::string zin_ranlib;
    std::string tool; // stands in for ar, nm and ranlib
};

// What the host's program files end in: "" on POSIX hosts, ".exe" on Windows.
extern const char program_suffix[];

// The layout of a tree at `root`; creates nothing.
InstallTree install_tree_layout(const std::string &root);

// Builds the tree at `root`: copies of the three wrappers in bin_dir, an empty
// plugin, and the tool as ar, nm and ranlib in tool_dir, each program file
// named with program_suffix.
InstallTree build_install_tree(const std::string &root, const TreePrograms &programs);

// The plugin path a wrapper of the tree hands to its tool.
std::string tree_plugin(const InstallTree &tree);

} // namespace kit
