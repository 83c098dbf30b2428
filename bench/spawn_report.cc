// SPDX-License-Identifier: Apache-2.0
// The figures of a benchmark run: what each case adds to the direct run, its
// ratios to the yardsticks', and zin-ar against its budgets.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "bench/spawn_bench.h"

namespace spawn_bench {
namespace {

// What zin-ar may cost beyond the musl launcher (the same static PIE on musl,
// doing nothing but vfork, exec and wait), in figures that do not depend on
// the machine's speed. Each is the figure measured when the budget was set
// plus a small margin; a change that needs more raises its budget here, with
// the reason, in the same commit.
struct Budgets {
    // Over the launcher's, beyond realpath's one readlink per component of the
    // program's path (counted from the tree's path), 12 calls, each for a job
    // the wrapper has:
    //   stat                 the plugin, not in the first tool directory
    //   stat, access         the plugin, found in the second
    //   stat                 the running program, which the tool search passes over
    //   stat, access         the tool, found in the first tool directory
    //   rt_sigaction         SIGCHLD back to its default before the tool starts
    //   pipe2, close x3, read  the close-on-exec pipe that reports a failed exec
    //                        (the child closes its read end, the parent its write
    //                        end, reads end-of-file and closes the read end)
    long syscalls;
    // Over the launcher's, median over the timed rounds (the tool's faults,
    // the same in both, cancel out): the larger program's pages and those the
    // relocation and the lookup write (path buffers on the stack, the region).
    long minor_faults;
    // Over the launcher's, median over the traced runs: the same pages, the
    // program's file pages mapped with each fault included.
    long peak_rss_kib;
};
// Set from +20 calls (8 of them readlink), +4 faults and +64 KiB, the same in
// every run; the margin is one call, two faults and two pages.
constexpr Budgets budgets{.syscalls = 13, .minor_faults = 6, .peak_rss_kib = 72};

// The q-quantile of `values`, interpolated between neighbours.
double quantile(std::vector<double> values, double q) {
    std::sort(values.begin(), values.end());
    double position = q * static_cast<double>(values.size() - 1);
    auto low = static_cast<std::size_t>(position);
    std::size_t high = std::min(low + 1, values.size() - 1);
    double fraction = position - static_cast<double>(low);
    return values[low] + (values[high] - values[low]) * fraction;
}

// The middle of `values`.
double median(const std::vector<double> &values) {
    return quantile(values, 0.5);
}

// What a case adds to the direct run: per round its figure minus the direct
// run's in that round (drift in the machine's speed cancels), then the
// median and quartiles over the rounds.
struct Added {
    double median, low, high;
};

Added added(const std::vector<double> &series, const std::vector<double> &direct) {
    std::vector<double> differences;
    for (std::size_t r = 0; r < series.size(); ++r) {
        differences.push_back(series[r] - direct[r]);
    }
    return {median(differences), quantile(differences, 0.25), quantile(differences, 0.75)};
}

// `value` printed with `format`.
std::string fixed(const char *format, double value) {
    char text[48];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

} // namespace

int report(const CaseSet &set, const Figures &f) {
    const std::vector<Case> &cases = set.cases;
    std::vector<Added> wall, cpu;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        wall.push_back(added(f.wall[i], f.wall[set.direct]));
        cpu.push_back(added(f.cpu[i], f.cpu[set.direct]));
    }
    std::printf("%-32s %8s %8s %15s %8s %8s %8s %8s\n", "", "wall", "wall", "wall added", "cpu",
                "system", "minor", "peak");
    std::printf("%-32s %8s %8s %15s %8s %8s %8s %8s\n", "case", "median", "added", "p25..p75",
                "added", "calls", "faults", "RSS");
    std::printf("%-32s %8s %8s %15s %8s %8s %8s %8s\n", "", "ms", "ms", "ms", "ms", "per run",
                "per run", "KiB");
    for (std::size_t i = 0; i < cases.size(); ++i) {
        bool direct = i == set.direct;
        std::printf(
            "%-32s %8.3f %8s %15s %8s %8ld %8.0f %8s\n", cases[i].label.c_str(), median(f.wall[i]),
            direct ? "-" : fixed("%.3f", wall[i].median).c_str(),
            direct ? "-" : (fixed("%.3f", wall[i].low) + fixed("..%.3f", wall[i].high)).c_str(),
            direct ? "-" : fixed("%.3f", cpu[i].median).c_str(), f.syscalls[i], median(f.faults[i]),
            f.rss[i].empty() ? "-" : fixed("%.0f", median(f.rss[i])).c_str());
    }

    // Added cost over a yardstick's; NAN when that yardstick was not built.
    auto ratio = [&](const std::vector<Added> &a, std::size_t i, std::size_t yardstick) {
        return yardstick == absent ? NAN : a[i].median / a[yardstick].median;
    };
    const std::size_t yardsticks[] = {set.launcher_musl, set.launcher_static, set.launcher_dynamic,
                                      set.shell};
    std::printf("\nadded time over each yardstick's (wall clock; cpu time in brackets; "
                "reported, never a verdict)\n");
    std::printf("%-32s %15s %15s %15s %15s\n", "case", "/ musl static", "/ glibc static",
                "/ glibc dynamic", "/ shell");
    for (std::size_t i = set.zin_ar; i < cases.size(); ++i) {
        std::printf("%-32s", cases[i].label.c_str());
        for (std::size_t y : yardsticks) {
            std::printf(" %15s", y == absent ? "n/a"
                                             : (fixed("%.3f", ratio(wall, i, y)) +
                                                fixed(" [%.3f]", ratio(cpu, i, y)))
                                                   .c_str());
        }
        std::printf("\n");
    }

    std::size_t z = set.zin_ar;
    std::size_t m = set.launcher_musl;
    if (m == absent || std::strcmp(ZIN_BENCH_LINK, "musl-static") != 0) {
        std::printf("\nbudgets not checked: they hold zin-ar linked musl-static to the musl "
                    "launcher (this build: ZIN_LINK=%s, musl launcher %s)\n",
                    ZIN_BENCH_LINK, m == absent ? "not built" : "built");
        return 2;
    }
    const std::string &program = cases[z].executable;
    long components = std::count(program.begin(), program.end(), '/');
    struct Check {
        const char *figure;
        long extra, limit;
        std::string why;
    } checks[] = {
        {"system calls", f.syscalls[z] - f.syscalls[m], budgets.syscalls + components,
         std::to_string(budgets.syscalls) + " + " + std::to_string(components) +
             " readlink, one per path component"},
        {"minor faults", std::lround(median(f.faults[z]) - median(f.faults[m])),
         budgets.minor_faults, ""},
        {"peak RSS (KiB)", std::lround(median(f.rss[z]) - median(f.rss[m])), budgets.peak_rss_kib,
         ""},
    };
    bool kept = true;
    std::string failures;
    std::printf("\nzin-ar over the musl launcher, against its budgets (bench/spawn_report.cc):\n");
    for (const Check &c : checks) {
        bool ok = c.extra <= c.limit;
        kept = kept && ok;
        std::printf("  %-16s %+6ld  <= %-4ld %s%s\n", c.figure, c.extra, c.limit,
                    ok ? "kept" : "EXCEEDED", c.why.empty() ? "" : ("  (" + c.why + ")").c_str());
        if (!ok) {
            failures += "spawn: FAIL: " + std::string(c.figure) + ": zin-ar has " +
                        std::to_string(c.extra) +
                        " more than the musl launcher, over its budget of " +
                        std::to_string(c.limit) + "\n";
        }
    }
    std::fflush(stdout);
    std::fputs(failures.c_str(), stderr);
    return kept ? 0 : 1;
}

} // namespace spawn_bench
