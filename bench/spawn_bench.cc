// What one run of a wrapper costs over running its tool directly, measured
// side by side with the two yardsticks a wrapper of this design is held to: a
// minimal C launcher (vfork, exec, wait) and a one-line /bin/sh wrapper.
//
// The benchmark builds a throwaway installation tree, checks that every case
// hands the tool the command line it should, then runs the cases round by
// round, each round in a rotated order, and reports medians. The cost a case
// adds is the median over rounds of its time minus the direct run's time in
// the same round, so that drift in the machine's speed cancels out. System
// calls per run come from `strace -f -c`, peak resident memory from the
// rusage of wait4, read by a small static probe that starts the case, with a
// tool in place that has hardly a page of its own, so that the figure is the
// launcher's.
//
// Exit status: 0 when zin-ar meets its targets, 1 when it misses one, 2 when
// the benchmark could not run.
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <vector>

#include "driver/build_config.h"
#include "testkit/files.h"
#include "testkit/install_tree.h"

extern char **environ;

namespace {

// The targets zin-ar is held to.
constexpr double max_ratio_to_shell = 1.00;
constexpr double max_ratio_to_launcher = 1.10;
constexpr long max_extra_syscalls = 30;
constexpr long max_extra_rss_kib = 512;

// PATH of the zin-nm case: this many entries, the wrapper's directory second
// to last and the tool's directory last, so both searches walk nearly all.
constexpr int path_entries = 30;

[[noreturn]] void die(const std::string &what) {
    std::fprintf(stderr, "spawn: %s\n", what.c_str());
    std::exit(2);
}

[[noreturn]] void die_errno(const std::string &what) {
    die(what + ": " + std::strerror(errno));
}

// ---------------------------------------------------------------- files

using kit::copy_file;
using kit::make_dirs;
using kit::read_file;
using kit::remove_tree;
using kit::write_file;

std::string canonical(const std::string &path) {
    char resolved[PATH_MAX];
    if (realpath(path.c_str(), resolved) == nullptr) {
        die_errno("realpath " + path);
    }
    return resolved;
}

// ---------------------------------------------------------------- the tree

// An installation tree moved to `root`, with its directories spelt the way the
// relocated wrappers spell them ("../" steps kept).
struct Tree : kit::InstallTree {
    std::string yardstick_dir; // the fixed tool and plugin of the launcher and the shell wrapper
    std::string path_tool_dir; // last PATH entry of the zin-nm case
    std::string search_path;   // the 30-entry PATH of the zin-nm case
};

Tree tree_layout(const std::string &root) {
    Tree tree;
    static_cast<kit::InstallTree &>(tree) = kit::install_tree_layout(root);
    // As compiled into the minimal launcher, whatever the canonical root.
    tree.yardstick_dir = std::string(ZIN_BENCH_TREE_DIR) + "/yardstick/";
    tree.path_tool_dir = root + "/path/tool";
    return tree;
}

// The tree at ZIN_BENCH_TREE_DIR, made anew: the wrappers and the variants in
// bin/, the plugin and `ar` where the wrappers look, `nm` only on PATH, and the
// yardsticks' fixed tool, plugin and shell script.
Tree build_tree(const std::vector<std::pair<std::string, std::string>> &variants) {
    remove_tree(ZIN_BENCH_TREE_DIR);
    make_dirs(ZIN_BENCH_TREE_DIR);
    Tree tree = tree_layout(canonical(ZIN_BENCH_TREE_DIR));
    make_dirs(tree.bin_dir);
    make_dirs(tree.plugin_dir);
    make_dirs(tree.tool_dir);
    make_dirs(tree.yardstick_dir);
    make_dirs(tree.path_tool_dir);

    copy_file(ZIN_BENCH_ZIN_AR, tree.bin_dir + "zin-ar", 0755);
    copy_file(ZIN_BENCH_ZIN_NM, tree.bin_dir + "zin-nm", 0755);
    for (const auto &[name, path] : variants) {
        copy_file(path, tree.bin_dir + "zin-ar." + name, 0755);
    }
    std::string tool = read_file(ZIN_BENCH_NULL_TOOL);
    write_file(tree.yardstick_dir + "ar", tool, 0755);
    write_file(tree.tool_dir + "ar", tool, 0755);
    write_file(tree.path_tool_dir + "/nm", tool, 0755);
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
    std::string bin_entry = tree.bin_dir.substr(0, tree.bin_dir.size() - 1);
    tree.search_path += bin_entry + ":" + tree.path_tool_dir;
    return tree;
}

// Replaces every copy of the tool by the one for memory figures, whose few
// resident pages stay below any launcher's in the maximum that wait4 reports.
void install_rss_tool(const Tree &tree) {
    std::string tool = read_file(ZIN_BENCH_RSS_TOOL);
    write_file(tree.yardstick_dir + "ar", tool, 0755);
    write_file(tree.tool_dir + "ar", tool, 0755);
    write_file(tree.path_tool_dir + "/nm", tool, 0755);
}

// ---------------------------------------------------------------- cases

struct Case {
    std::string label;
    std::string executable;        // started by this path
    std::vector<std::string> argv; // argv[0] as a build system would pass it
    std::string search_path;       // PATH of the run
    std::string expected_output;   // the tool's echo of its argv
};

// The argv pointers and environment of a case, ready for posix_spawn.
struct Prepared {
    std::vector<std::string> argv_strings;
    std::vector<std::string> env_strings;
    std::vector<char *> argv;
    std::vector<char *> env;
};

bool starts_with(const char *text, const char *prefix) {
    return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

Prepared prepare(const Case &c, bool echo) {
    Prepared p;
    p.argv_strings = c.argv;
    for (char **entry = environ; *entry != nullptr; ++entry) {
        if (!starts_with(*entry, "ZIN_") && !starts_with(*entry, "PATH=")) {
            p.env_strings.push_back(*entry);
        }
    }
    p.env_strings.push_back("PATH=" + c.search_path);
    if (echo) {
        p.env_strings.push_back("ZIN_BENCH_ECHO=1");
    }
    for (std::string &s : p.argv_strings) {
        p.argv.push_back(s.data());
    }
    p.argv.push_back(nullptr);
    for (std::string &s : p.env_strings) {
        p.env.push_back(s.data());
    }
    p.env.push_back(nullptr);
    return p;
}

struct RunResult {
    int status = 0;
    double milliseconds = 0;     // wall clock, spawn to reaped
    double cpu_milliseconds = 0; // user + system time of the case and its children
    long page_faults = 0;        // minor faults of the case and its children
};

double now_ms() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

// Starts the case the way a build system does (a vfork-style spawn) and waits.
RunResult run(const Case &c, const Prepared &p, posix_spawn_file_actions_t *actions) {
    RunResult result;
    pid_t pid;
    double start = now_ms();
    int error =
        posix_spawn(&pid, c.executable.c_str(), actions, nullptr, p.argv.data(), p.env.data());
    if (error != 0) {
        errno = error;
        die_errno("posix_spawn " + c.executable);
    }
    rusage usage;
    while (wait4(pid, &result.status, 0, &usage) < 0) {
        if (errno != EINTR) {
            die_errno("wait4");
        }
    }
    result.milliseconds = now_ms() - start;
    auto ms = [](const timeval &t) {
        return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_usec) / 1e3;
    };
    result.cpu_milliseconds = ms(usage.ru_utime) + ms(usage.ru_stime);
    result.page_faults = usage.ru_minflt + usage.ru_majflt;
    return result;
}

// Peak resident memory of one run in KiB, through the small static probe.
long measure_rss(const Case &c) {
    std::string out_path = std::string(ZIN_BENCH_TREE_DIR) + "/rss.out";
    Case probed = c;
    probed.executable = ZIN_BENCH_RSS_PROBE;
    probed.argv = {ZIN_BENCH_RSS_PROBE, c.executable};
    probed.argv.insert(probed.argv.end(), c.argv.begin(), c.argv.end());
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    Prepared p = prepare(probed, false);
    RunResult r = run(probed, p, &actions);
    posix_spawn_file_actions_destroy(&actions);
    std::string out = read_file(out_path);
    long kib = -1;
    int status = -1;
    if (r.status != 0 || std::sscanf(out.c_str(), "%ld %d", &kib, &status) != 2 || status != 0) {
        die("peak memory of '" + c.label + "' not measured: " + out);
    }
    return kib;
}

// Runs the case once with the tool echoing its argv and checks the echo, the
// empty standard error and the exit status.
void verify(const Case &c) {
    std::string out_path = std::string(ZIN_BENCH_TREE_DIR) + "/verify.out";
    std::string err_path = std::string(ZIN_BENCH_TREE_DIR) + "/verify.err";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    Prepared p = prepare(c, true);
    RunResult r = run(c, p, &actions);
    posix_spawn_file_actions_destroy(&actions);
    std::string out = read_file(out_path);
    std::string err = read_file(err_path);
    if (!WIFEXITED(r.status) || WEXITSTATUS(r.status) != 0 || out != c.expected_output ||
        !err.empty()) {
        die("case '" + c.label + "' does not do its job:\n  wait status " +
            std::to_string(r.status) + "\n  expected stdout:\n" + c.expected_output +
            "  actual stdout:\n" + out + "  stderr:\n" + err);
    }
}

std::string lines(const std::vector<std::string> &elements) {
    std::string text;
    for (const std::string &e : elements) {
        text += e + "\n";
    }
    return text;
}

std::vector<Case> make_cases(const Tree &tree,
                             const std::vector<std::pair<std::string, std::string>> &variants,
                             const std::string &short_path) {
    const std::vector<std::string> ar_args = {"rcs", "libx.a", "a.o"};
    const std::vector<std::string> nm_args = {"-g", "a.o"};
    std::string yard_tool = tree.yardstick_dir + "ar";
    std::string yard_plugin = tree.yardstick_dir + plugin_file_name;
    std::string tree_plugin = tree.plugin_dir + plugin_file_name;
    std::vector<std::string> yard_argv = {yard_tool, "--plugin", yard_plugin};
    yard_argv.insert(yard_argv.end(), ar_args.begin(), ar_args.end());

    auto with_args = [](std::vector<std::string> head, const std::vector<std::string> &args) {
        head.insert(head.end(), args.begin(), args.end());
        return head;
    };
    std::vector<Case> cases;
    cases.push_back({"tool directly", yard_tool, yard_argv, short_path, lines(yard_argv)});
    cases.push_back({"minimal C launcher", ZIN_BENCH_LAUNCHER,
                     with_args({ZIN_BENCH_LAUNCHER}, ar_args), short_path, lines(yard_argv)});
    cases.push_back({"/bin/sh exec wrapper", tree.yardstick_dir + "zin-ar.sh",
                     with_args({tree.yardstick_dir + "zin-ar.sh"}, ar_args), short_path,
                     lines(yard_argv)});
    std::vector<std::string> zin_ar_echo = {
        tree.tool_dir + "ar", "--plugin", tree_plugin, "-rcs", "libx.a", "a.o"};
    cases.push_back({"zin-ar, absolute, relocated", tree.bin_dir + "zin-ar",
                     with_args({tree.bin_dir + "zin-ar"}, ar_args), short_path,
                     lines(zin_ar_echo)});
    cases.push_back(
        {"zin-nm, bare name, PATH of 30", tree.bin_dir + "zin-nm", with_args({"zin-nm"}, nm_args),
         tree.search_path,
         lines(with_args({tree.path_tool_dir + "/nm", "--plugin", tree_plugin}, nm_args))});
    cases.push_back({"minimal C launcher, static", ZIN_BENCH_LAUNCHER_STATIC,
                     with_args({ZIN_BENCH_LAUNCHER_STATIC}, ar_args), short_path,
                     lines(yard_argv)});
    for (const auto &[name, path] : variants) {
        std::string program = tree.bin_dir + "zin-ar." + name;
        cases.push_back({"zin-ar variant: " + name, program, with_args({program}, ar_args),
                         short_path, lines(zin_ar_echo)});
    }
    return cases;
}

// ---------------------------------------------------------------- strace

std::string find_program(const char *name) {
    const char *path = std::getenv("PATH");
    std::string list = path != nullptr ? path : "/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t end = list.find(':', start);
        if (end == std::string::npos) {
            end = list.size();
        }
        std::string dir = list.substr(start, end - start);
        if (!dir.empty()) {
            std::string candidate = dir + "/" + name;
            if (access(candidate.c_str(), X_OK) == 0) {
                return candidate;
            }
        }
        start = end + 1;
    }
    return "";
}

// System calls of one run, the tool's included, as `strace -f -c` counts them.
long count_syscalls(const std::string &strace, const Case &c) {
    std::string report = std::string(ZIN_BENCH_TREE_DIR) + "/strace.out";
    Case traced = c;
    traced.executable = strace;
    traced.argv = {strace, "-f", "-c", "-o", report, "--", c.executable};
    traced.argv.insert(traced.argv.end(), c.argv.begin() + 1, c.argv.end());
    // strace starts the program with the argv[0] it is given, as a shell
    // would; a bare name is found on the case's own PATH.
    if (c.argv[0].find('/') == std::string::npos) {
        traced.argv[6] = c.argv[0];
    }
    Prepared p = prepare(traced, false);
    RunResult r = run(traced, p, nullptr);
    if (!WIFEXITED(r.status) || WEXITSTATUS(r.status) != 0) {
        die("strace of '" + c.label + "' failed, wait status " + std::to_string(r.status));
    }
    std::string text = read_file(report);
    std::size_t line_start = text.rfind('\n', text.size() >= 2 ? text.size() - 2 : 0);
    std::string last = text.substr(line_start == std::string::npos ? 0 : line_start + 1);
    std::vector<std::string> fields;
    for (std::size_t at = 0; at < last.size();) {
        std::size_t end = last.find_first_of(" \t\n", at);
        if (end == std::string::npos) {
            end = last.size();
        }
        if (end > at) {
            fields.push_back(last.substr(at, end - at));
        }
        at = end + 1;
    }
    if (fields.size() < 5 || fields.back() != "total") {
        die("cannot read the strace summary of '" + c.label + "':\n" + text);
    }
    return std::strtol(fields[3].c_str(), nullptr, 10);
}

// ---------------------------------------------------------------- figures

double quantile(std::vector<double> values, double q) {
    std::sort(values.begin(), values.end());
    double position = q * static_cast<double>(values.size() - 1);
    auto low = static_cast<std::size_t>(position);
    std::size_t high = std::min(low + 1, values.size() - 1);
    double fraction = position - static_cast<double>(low);
    return values[low] + (values[high] - values[low]) * fraction;
}

double median(const std::vector<double> &values) {
    return quantile(values, 0.5);
}

// What each case adds to the direct run (case 0): per round the case's figure
// minus the direct run's of that round, then the quartiles over the rounds.
struct Added {
    std::vector<double> median, low, high;
};

Added added_cost(const std::vector<std::vector<double>> &samples) {
    Added added;
    for (const std::vector<double> &series : samples) {
        std::vector<double> differences;
        for (std::size_t r = 0; r < series.size(); ++r) {
            differences.push_back(series[r] - samples[0][r]);
        }
        added.median.push_back(median(differences));
        added.low.push_back(quantile(differences, 0.25));
        added.high.push_back(quantile(differences, 0.75));
    }
    return added;
}

std::string load_average() {
    std::string text = read_file("/proc/loadavg");
    std::size_t cut = 0;
    for (int fields = 0; fields < 3 && cut != std::string::npos; ++fields) {
        cut = text.find(' ', cut + (fields == 0 ? 0 : 1));
    }
    return text.substr(0, cut);
}

struct Options {
    int rounds = 1000;
    int warmup = 50;
    int rss_rounds = 50;
    bool strace = true;
    bool check = true;
    bool keep = false;
    bool variants = true;
    std::vector<std::pair<std::string, std::string>> extra_variants;
};

void usage() {
    std::fputs("usage: spawn [--rounds N] [--warmup N] [--no-strace] [--no-check] [--keep]\n"
               "             [--no-variants] [--variant NAME=PATH-TO-ZIN-AR]...\n"
               "  --rounds N     timed rounds, each runs every case once (default 1000)\n"
               "  --warmup N     untimed rounds first (default 50)\n"
               "  --no-strace    skip the system-call counts\n"
               "  --no-check     exit 0 even when zin-ar misses a target\n"
               "  --keep         keep the installation tree\n"
               "  --no-variants  leave out the link variants built with the benchmark\n"
               "  --variant      also time another build of zin-ar, side by side\n",
               stderr);
}

Options parse_options(int argc, char **argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) {
                usage();
                std::exit(2);
            }
            return argv[++i];
        };
        if (a == "--rounds") {
            o.rounds = std::atoi(value().c_str());
        } else if (a == "--warmup") {
            o.warmup = std::atoi(value().c_str());
        } else if (a == "--no-strace") {
            o.strace = false;
        } else if (a == "--no-check") {
            o.check = false;
        } else if (a == "--keep") {
            o.keep = true;
        } else if (a == "--no-variants") {
            o.variants = false;
        } else if (a == "--variant") {
            std::string variant = value();
            std::size_t eq = variant.find('=');
            if (eq == std::string::npos || eq == 0 || variant.find('/') < eq) {
                usage();
                std::exit(2);
            }
            o.extra_variants.emplace_back(variant.substr(0, eq), variant.substr(eq + 1));
        } else {
            usage();
            std::exit(2);
        }
    }
    if (o.rounds < 5 || o.warmup < 0) {
        usage();
        std::exit(2);
    }
    return o;
}

// The link variants of zin-ar built beside the benchmark, "name=path|...".
std::vector<std::pair<std::string, std::string>> built_variants() {
    std::vector<std::pair<std::string, std::string>> list;
    std::string text = ZIN_BENCH_VARIANTS;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('|', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string item = text.substr(start, end - start);
        std::size_t eq = item.find('=');
        if (eq != std::string::npos) {
            list.emplace_back(item.substr(0, eq), item.substr(eq + 1));
        }
        start = end + 1;
    }
    return list;
}

} // namespace

int main(int argc, char **argv) {
    Options options = parse_options(argc, argv);
    std::vector<std::pair<std::string, std::string>> variants;
    if (options.variants) {
        variants = built_variants();
    }
    variants.insert(variants.end(), options.extra_variants.begin(), options.extra_variants.end());

    std::string load_before = load_average();
    Tree tree = build_tree(variants);
    std::vector<Case> cases = make_cases(tree, variants, "/usr/local/bin:/usr/bin:/bin");
    for (const Case &c : cases) {
        verify(c);
    }
    std::size_t count = cases.size();
    std::vector<Prepared> prepared;
    for (const Case &c : cases) {
        prepared.push_back(prepare(c, false));
    }

    // Timing: every round runs every case once, starting one case further on
    // than the round before.
    std::vector<std::vector<double>> wall(count), cpu(count), faults(count);
    for (int round = -options.warmup; round < options.rounds; ++round) {
        std::size_t first = static_cast<std::size_t>(round + options.warmup) % count;
        for (std::size_t k = 0; k < count; ++k) {
            std::size_t i = (first + k) % count;
            RunResult r = run(cases[i], prepared[i], nullptr);
            if (r.status != 0) {
                die("case '" + cases[i].label + "' failed, wait status " +
                    std::to_string(r.status));
            }
            if (round >= 0) {
                wall[i].push_back(r.milliseconds);
                cpu[i].push_back(r.cpu_milliseconds);
                faults[i].push_back(static_cast<double>(r.page_faults));
            }
        }
    }

    std::vector<long> syscalls(count, -1);
    std::string strace = options.strace ? find_program("strace") : "";
    if (!strace.empty()) {
        for (std::size_t i = 0; i < count; ++i) {
            // The fewest of three: a run can only gain calls (a retried read).
            long fewest = LONG_MAX;
            for (int n = 0; n < 3; ++n) {
                fewest = std::min(fewest, count_syscalls(strace, cases[i]));
            }
            syscalls[i] = fewest;
        }
    }

    install_rss_tool(tree);
    std::vector<std::vector<double>> rss(count);
    for (int round = 0; round < options.rss_rounds; ++round) {
        for (std::size_t i = 0; i < count; ++i) {
            rss[i].push_back(static_cast<double>(measure_rss(cases[i])));
        }
    }
    std::string load_after = load_average();

    Added wall_added = added_cost(wall);
    Added cpu_added = added_cost(cpu);

    std::printf("zin wrapper start-up: %d rounds (after %d warm-up), %zu cases interleaved\n",
                options.rounds, options.warmup, count);
    std::printf("load average before: %s, after: %s\n", load_before.c_str(), load_after.c_str());
    std::printf("tree: %s\n\n", tree.root.c_str());
    std::printf("%-32s %8s %8s %15s %8s %8s %8s %8s\n", "", "wall", "wall", "wall added", "cpu",
                "system", "page", "max");
    std::printf("%-32s %8s %8s %15s %8s %8s %8s %8s\n", "case", "median", "added", "p25..p75",
                "added", "calls", "faults", "RSS");
    std::printf("%-32s %8s %8s %15s %8s %8s %8s %8s\n", "", "ms", "ms", "ms", "ms", "per run",
                "per run", "KiB");
    for (std::size_t i = 0; i < count; ++i) {
        char syscall_text[32] = "n/a";
        if (syscalls[i] >= 0) {
            std::snprintf(syscall_text, sizeof syscall_text, "%ld", syscalls[i]);
        }
        char added_text[32] = "-";
        char range_text[40] = "-";
        char cpu_text[32] = "-";
        if (i != 0) {
            std::snprintf(added_text, sizeof added_text, "%.3f", wall_added.median[i]);
            std::snprintf(range_text, sizeof range_text, "%.3f..%.3f", wall_added.low[i],
                          wall_added.high[i]);
            std::snprintf(cpu_text, sizeof cpu_text, "%.3f", cpu_added.median[i]);
        }
        std::printf("%-32s %8.3f %8s %15s %8s %8s %8.0f %8.0f\n", cases[i].label.c_str(),
                    median(wall[i]), added_text, range_text, cpu_text, syscall_text,
                    median(faults[i]), median(rss[i]));
    }

    // Cases 1, 2 and 3 are the launcher, the shell wrapper and zin-ar.
    constexpr std::size_t launcher = 1, shell = 2, zin_ar = 3;
    std::printf("\nadded cost over the yardsticks' (wall clock; cpu time in brackets)\n");
    std::printf("%-32s %16s %16s %10s %10s\n", "case", "/ launcher's", "/ shell's", "calls",
                "RSS KiB");
    std::printf("%-32s %16s %16s %10s %10s\n", "", "", "", "- launcher", "- launcher");
    std::vector<double> to_launcher(count), to_shell(count);
    std::vector<long> extra_calls(count), extra_rss(count);
    for (std::size_t i = zin_ar; i < count; ++i) {
        to_launcher[i] = wall_added.median[i] / wall_added.median[launcher];
        to_shell[i] = wall_added.median[i] / wall_added.median[shell];
        extra_calls[i] = syscalls[i] - syscalls[launcher];
        extra_rss[i] = std::lround(median(rss[i]) - median(rss[launcher]));
        char launcher_text[40];
        char shell_text[40];
        std::snprintf(launcher_text, sizeof launcher_text, "%.3f [%.3f]", to_launcher[i],
                      cpu_added.median[i] / cpu_added.median[launcher]);
        std::snprintf(shell_text, sizeof shell_text, "%.3f [%.3f]", to_shell[i],
                      cpu_added.median[i] / cpu_added.median[shell]);
        char calls_text[32] = "n/a";
        if (syscalls[i] >= 0 && syscalls[launcher] >= 0) {
            std::snprintf(calls_text, sizeof calls_text, "%+ld", extra_calls[i]);
        }
        std::printf("%-32s %16s %16s %10s %+10ld\n", cases[i].label.c_str(), launcher_text,
                    shell_text, calls_text, extra_rss[i]);
    }

    // The verdict is zin-ar's, the shipped program started as a build does.
    bool met = true;
    std::printf("\nzin-ar against its targets:\n");
    auto verdict = [&](const char *what, bool measured, bool ok, const std::string &figure,
                       const std::string &target) {
        met = met && measured && ok;
        std::printf("  %-42s %-12s %-12s %s\n", what, figure.c_str(), target.c_str(),
                    !measured ? "NOT MEASURED"
                    : ok      ? "met"
                              : "MISSED");
    };
    auto fixed = [](const char *format, double value) {
        char text[40];
        std::snprintf(text, sizeof text, format, value);
        return std::string(text);
    };
    verdict("added cost / minimal launcher's", true, to_launcher[zin_ar] <= max_ratio_to_launcher,
            fixed("%.3f", to_launcher[zin_ar]), fixed("<= %.2f", max_ratio_to_launcher));
    verdict("added cost / shell wrapper's", true, to_shell[zin_ar] <= max_ratio_to_shell,
            fixed("%.3f", to_shell[zin_ar]), fixed("<= %.2f", max_ratio_to_shell));
    bool counted = syscalls[zin_ar] >= 0 && syscalls[launcher] >= 0;
    if (counted || options.strace) {
        verdict("system calls - launcher's", counted, extra_calls[zin_ar] <= max_extra_syscalls,
                counted ? std::to_string(extra_calls[zin_ar]) : "strace?",
                "<= " + std::to_string(max_extra_syscalls));
    } else {
        std::printf("  system calls: not counted (--no-strace)\n");
    }
    verdict("peak resident memory - launcher's (KiB)", true, extra_rss[zin_ar] <= max_extra_rss_kib,
            std::to_string(extra_rss[zin_ar]), "<= " + std::to_string(max_extra_rss_kib));

    if (!options.keep) {
        remove_tree(ZIN_BENCH_TREE_DIR);
    }
    if (!met) {
        std::printf("\nzin-ar misses a target.\n");
    }
    return met || !options.check ? 0 : 1;
}
