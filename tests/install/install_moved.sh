#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# An installed tree keeps working after it is moved as a whole to a place of
# a different depth: started by path, through PATH, and through a symbolic
# link from outside the tree, the wrappers find the plugin and the tools in
# the moved tree (the old place no longer exists).
set -eu
. "$(dirname "$0")/lib.sh"
make_scratch
first=$scratch/first/prefix
install_tree "$first"
place_stand_in "$first"
run_to "$scratch/before" target_env PATH=/nonexistent "$first/${bin_rel}zin-nm" a.o
check_lines "$scratch/before" "$(relocated_tool_path "$first" nm)" --plugin \
    "$(relocated_plugin_path "$first")" a.o

moved=$scratch/elsewhere/deeper/tree
run mkdir -p "$scratch/elsewhere/deeper"
run mv "$first" "$moved"
run rm -r "$scratch/first"
plugin=$(relocated_plugin_path "$moved")

echo "--- started by its path"
run_to "$scratch/by-path" target_env PATH=/nonexistent "$moved/${bin_rel}zin-ar" cr libx.a a.o b.o
check_lines "$scratch/by-path" "$(relocated_tool_path "$moved" ar)" --plugin "$plugin" \
    -cr libx.a a.o b.o

echo "--- started by its name, found through PATH"
run_to "$scratch/by-name" target_env PATH="/nonexistent:$moved/${bin_rel%/}" zin-ranlib libx.a
check_lines "$scratch/by-name" "$(relocated_tool_path "$moved" ranlib)" --plugin "$plugin" libx.a

echo "--- started through a symbolic link from outside the tree"
run mkdir "$scratch/links"
run ln -s "$moved/${bin_rel}zin-nm" "$scratch/links/nm-for-lto"
run_to "$scratch/by-link" target_env PATH=/nonexistent "$scratch/links/nm-for-lto" -g a.o
check_lines "$scratch/by-link" "$(relocated_tool_path "$moved" nm)" --plugin "$plugin" -g a.o

echo "--- without a tool in the tree, the one in PATH is used"
run rm "$moved/${tool_rel}ar"
run mkdir "$scratch/path-tools"
run cp "$ZT_STAND_IN" "$scratch/path-tools/ar"
run_to "$scratch/from-path" target_env PATH="$scratch/path-tools" "$moved/${bin_rel}zin-ar" t libx.a
check_lines "$scratch/from-path" "$scratch/path-tools/ar" --plugin "$plugin" -t libx.a

echo "PASS"
