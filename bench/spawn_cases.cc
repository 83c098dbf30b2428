// SPDX-License-Identifier: Apache-2.0
// What the benchmark times: the tool alone, the yardsticks (a minimal C
// launcher in three builds and a /bin/sh exec wrapper), the shipped zin-ar
// and zin-nm, and any other builds of zin-ar given as variants.
#include <cstring>

#include "bench/spawn_bench.h"
#include "driver/build_config.h"

namespace spawn_bench {
namespace {

// The elements one a line, as the echoing tool prints its argv.
std::string lines(const std::vector<std::string> &elements) {
    std::string text;
    for (const std::string &e : elements) {
        text += e + "\n";
    }
    return text;
}

// `head` followed by `args`.
std::vector<std::string> with_args(std::vector<std::string> head,
                                   const std::vector<std::string> &args) {
    head.insert(head.end(), args.begin(), args.end());
    return head;
}

// PATH of every case but zin-nm's.
constexpr const char *short_path = "/usr/local/bin:/usr/bin:/bin";

} // namespace

CaseSet make_cases(const Tree &tree, const Variants &variants) {
    const std::vector<std::string> ar_args = {"rcs", "libx.a", "a.o"};
    const std::vector<std::string> nm_args = {"-g", "a.o"};
    std::string yard_tool = tree.yardstick_dir + "ar";
    std::vector<std::string> yard_argv =
        with_args({yard_tool, "--plugin", tree.yardstick_dir + plugin_file_name}, ar_args);
    std::string yard_echo = lines(yard_argv);
    std::string tree_plugin = tree.plugin_dir + plugin_file_name;
    std::string zin_ar_echo = lines(
        with_args({tree.tool_dir + "ar", "--plugin", tree_plugin}, {"-rcs", "libx.a", "a.o"}));

    CaseSet set;
    auto add = [&set](std::size_t *slot, Case c) {
        if (slot != nullptr) {
            *slot = set.cases.size();
        }
        set.cases.push_back(std::move(c));
    };
    auto launcher = [&](std::size_t *slot, const char *label, const char *program) {
        if (std::strlen(program) != 0) {
            add(slot, {label, program, with_args({program}, ar_args), short_path, yard_echo});
        }
    };

    add(&set.direct, {"tool directly", yard_tool, yard_argv, short_path, yard_echo});
    launcher(&set.launcher_musl, "launcher, musl static PIE", ZIN_BENCH_LAUNCHER_MUSL);
    launcher(&set.launcher_static, "launcher, glibc static PIE", ZIN_BENCH_LAUNCHER_STATIC);
    launcher(&set.launcher_dynamic, "launcher, glibc dynamic", ZIN_BENCH_LAUNCHER);
    std::string shell = tree.yardstick_dir + "zin-ar.sh";
    add(&set.shell,
        {"/bin/sh exec wrapper", shell, with_args({shell}, ar_args), short_path, yard_echo});
    std::string zin_ar = tree.bin_dir + "zin-ar";
    add(&set.zin_ar, {"zin-ar (" ZIN_BENCH_LINK ")", zin_ar, with_args({zin_ar}, ar_args),
                      short_path, zin_ar_echo});
    // Started by bare name through a PATH of 30 entries: the wrapper's search
    // for itself and its search for the tool both walk nearly all of them.
    add(nullptr, {"zin-nm, bare name, PATH of 30", tree.bin_dir + "zin-nm",
                  with_args({"zin-nm"}, nm_args), tree.search_path,
                  lines(with_args({tree.path_tool_dir + "nm", "--plugin", tree_plugin}, nm_args))});
    for (const auto &[name, path] : variants) {
        std::string program = tree.bin_dir + "zin-ar." + name;
        add(nullptr, {"zin-ar variant: " + name, program, with_args({program}, ar_args), short_path,
                      zin_ar_echo});
    }
    return set;
}

} // namespace spawn_bench
