// SPDX-License-Identifier: Apache-2.0
// The figures of a benchmark run: what each case adds to the direct run, its
// ratios to the yardsticks', and zin-ar against its targets.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "bench/spawn_bench.h"

namespace spawn_bench {
namespace {

// The targets zin-ar is held to.
constexpr double max_ratio_to_musl_launcher = 1.15;
constexpr double max_ratio_to_dynamic_launcher = 0.60;
constexpr long max_extra_syscalls = 10; // over the dynamic launcher's
constexpr long max_stripped_bytes = 150'000;

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

bool report(const CaseSet &set, const Figures &f, bool strace_wanted) {
    const std::vector<Case> &cases = set.cases;
    std::vector<Added> wall, cpu;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        wall.push_back(added(f.wall[i], f.wall[set.direct]));
        cpu.push_back(added(f.cpu[i], f.cpu[set.direct]));
    }
    std::printf("%-32s %8s %8s %15s %8s %8s %8s %8s\n", "", "wall", "wall", "wall added", "cpu",
                "system", "page", "max");
    std::printf("%-32s %8s %8s %15s %8s %8s %8s %8s\n", "case", "median", "added", "p25..p75",
                "added", "calls", "faults", "RSS");
    std::printf("%-32s %8s %8s %15s %8s %8s %8s %8s\n", "", "ms", "ms", "ms", "ms", "per run",
                "per run", "KiB");
    for (std::size_t i = 0; i < cases.size(); ++i) {
        bool direct = i == set.direct;
        std::printf("%-32s %8.3f %8s %15s %8s %8s %8.0f %8.0f\n", cases[i].label.c_str(),
                    median(f.wall[i]), direct ? "-" : fixed("%.3f", wall[i].median).c_str(),
                    direct ? "-"
                           : (fixed("%.3f", wall[i].low) + fixed("..%.3f", wall[i].high)).c_str(),
                    direct ? "-" : fixed("%.3f", cpu[i].median).c_str(),
                    f.syscalls[i] < 0 ? "n/a" : std::to_string(f.syscalls[i]).c_str(),
                    median(f.faults[i]), median(f.rss[i]));
    }

    // Added cost over a yardstick's; NAN when that yardstick was not built.
    auto ratio = [&](const std::vector<Added> &a, std::size_t i, std::size_t yardstick) {
        return yardstick == absent ? NAN : a[i].median / a[yardstick].median;
    };
    const std::size_t yardsticks[] = {set.launcher_musl, set.launcher_static, set.launcher_dynamic,
                                      set.shell};
    std::printf("\nadded cost over each yardstick's (wall clock; cpu time in brackets)\n");
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
    std::printf("\nstripped program files:");
    for (const auto &[name, bytes] : f.sizes) {
        std::printf(" %s %ld bytes;", name.c_str(), bytes);
    }
    std::printf("\n");

    // The verdict is zin-ar's, the shipped program started as a build does.
    bool met = true;
    std::printf("\nzin-ar against its targets:\n");
    auto verdict = [&met](const std::string &what, bool measured, bool ok,
                          const std::string &figure, const std::string &target) {
        met = met && measured && ok;
        std::printf("  %-44s %-10s %-12s %s\n", what.c_str(), measured ? figure.c_str() : "-",
                    target.c_str(),
                    !measured ? "NOT MEASURED"
                    : ok      ? "met"
                              : "MISSED");
    };
    std::size_t z = set.zin_ar;
    double to_musl = ratio(wall, z, set.launcher_musl);
    double to_dynamic = ratio(wall, z, set.launcher_dynamic);
    verdict("added cost / musl static-PIE launcher's", !std::isnan(to_musl),
            to_musl <= max_ratio_to_musl_launcher, fixed("%.3f", to_musl),
            fixed("<= %.2f", max_ratio_to_musl_launcher));
    verdict("added cost / dynamic glibc launcher's", !std::isnan(to_dynamic),
            to_dynamic <= max_ratio_to_dynamic_launcher, fixed("%.3f", to_dynamic),
            fixed("<= %.2f", max_ratio_to_dynamic_launcher));
    long launcher_calls = f.syscalls[set.launcher_dynamic];
    if (strace_wanted) {
        long extra = f.syscalls[z] - launcher_calls;
        verdict("system calls - dynamic launcher's", f.syscalls[z] >= 0 && launcher_calls >= 0,
                extra <= max_extra_syscalls, std::to_string(extra),
                "<= " + std::to_string(max_extra_syscalls));
    } else {
        std::printf("  system calls: not counted (--no-strace)\n");
    }
    double rss = median(f.rss[z]);
    bool rss_measured = set.launcher_static != absent;
    double rss_floor = rss_measured ? median(f.rss[set.launcher_static]) : 0;
    verdict("peak RSS - glibc static-PIE launcher's (KiB)", rss_measured, rss <= rss_floor,
            fixed("%+.0f", rss - rss_floor), "<= 0");
    for (const auto &[name, bytes] : f.sizes) {
        verdict(name + " stripped (bytes)", bytes >= 0, bytes <= max_stripped_bytes,
                std::to_string(bytes), "<= " + std::to_string(max_stripped_bytes));
    }
    return met;
}

} // namespace spawn_bench
