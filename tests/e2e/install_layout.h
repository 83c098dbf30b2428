// The layout of a throwaway installation tree, from the configured constants.
#pragma once

#include <string>

namespace e2e {

// The directories of an installation tree as the wrappers compute them after
// relocation ("../" steps kept); every directory string ends in '/'.
struct InstallTree {
    std::string root;        // top of the tree, canonical, no trailing '/'
    std::string bin_dir;     // holds zin-ar, zin-nm, zin-ranlib
    std::string exec_dir;    // relocated library directory
    std::string libexec_dir; // relocated libexec directory
    std::string plugin_dir;  // libexec_dir + <target>/<version>/
    std::string tool_dir;    // exec_dir + <target>/<version>/ + climb + <target>/bin/
};

// The layout of a tree at `root` from the configured constants; creates nothing.
InstallTree install_tree_layout(const std::string &root);

} // namespace e2e
