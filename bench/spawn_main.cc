// SPDX-License-Identifier: Apache-2.0
// What one run of a wrapper costs over running its tool directly, measured
// side by side with the yardsticks a wrapper of this design is held to: a
// minimal C launcher (vfork, exec, wait) built three ways and a one-line
// /bin/sh wrapper.
//
// The benchmark builds a throwaway installation tree, checks that every case
// hands the tool the command line it should, then runs the cases round by
// round, each round in a rotated order, and reports medians of what each adds
// to the direct run in the same round. System calls come from `strace -f -c`,
// minor faults from wait4's rusage, peak resident memory from /proc while the
// case is traced.
//
// Times depend on the machine and are only reported. The verdict is on what
// does not: zin-ar's system calls, minor faults and peak memory over the musl
// launcher's, against the budgets in spawn_report.cc.
//
// Exit status: 0 when every case does its job and zin-ar keeps to its
// budgets, 1 when a case does not or a budget is exceeded, 2 when the
// benchmark could not run.
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bench/spawn_bench.h"
#include "testkit/files.h"

namespace spawn_bench {

void die(const std::string &what) {
    std::fprintf(stderr, "spawn: %s\n", what.c_str());
    std::exit(2);
}

void die_errno(const std::string &what) {
    die(what + ": " + std::strerror(errno));
}

void wrong_result(const std::string &what) {
    std::fprintf(stderr, "spawn: FAIL: %s\n", what.c_str());
    std::exit(1);
}

namespace {

struct Options {
    int rounds = 1000;
    int warmup = 50;
    int rss_rounds = 30;
    bool keep = false;
    Variants variants;
};

// Prints the usage text and ends with status 2.
[[noreturn]] void usage() {
    std::fputs(
        "usage: spawn [--rounds N] [--warmup N] [--keep] [--variant NAME=PATH-TO-ZIN-AR]...\n"
        "  --rounds N     timed rounds, each runs every case once (default 1000)\n"
        "  --warmup N     untimed rounds first (default 50)\n"
        "  --keep         keep the installation tree\n"
        "  --variant      also time another build of zin-ar, side by side\n",
        stderr);
    std::exit(2);
}

// The options of the command line; usage() on anything it does not know.
Options parse_options(int argc, char **argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) {
                usage();
            }
            return argv[++i];
        };
        if (a == "--rounds") {
            o.rounds = std::atoi(value().c_str());
        } else if (a == "--warmup") {
            o.warmup = std::atoi(value().c_str());
        } else if (a == "--keep") {
            o.keep = true;
        } else if (a == "--variant") {
            std::string variant = value();
            std::size_t eq = variant.find('=');
            if (eq == std::string::npos || eq == 0 || variant.find('/') < eq) {
                usage();
            }
            o.variants.emplace_back(variant.substr(0, eq), variant.substr(eq + 1));
        } else {
            usage();
        }
    }
    if (o.rounds < 5 || o.warmup < 0) {
        usage();
    }
    return o;
}

// The three load averages of /proc/loadavg.
std::string load_average() {
    std::string text = kit::read_file("/proc/loadavg");
    std::size_t cut = 0;
    for (int fields = 0; fields < 3 && cut != std::string::npos; ++fields) {
        cut = text.find(' ', cut + (fields == 0 ? 0 : 1));
    }
    return text.substr(0, cut);
}

// Every round runs every case once, starting one case further on than the
// round before; the warm-up rounds are not recorded.
void time_rounds(const CaseSet &set, const Options &options, Figures *f) {
    std::size_t count = set.cases.size();
    std::vector<Prepared> prepared;
    for (const Case &c : set.cases) {
        prepared.push_back(prepare(c, false));
    }
    for (int round = -options.warmup; round < options.rounds; ++round) {
        std::size_t first = static_cast<std::size_t>(round + options.warmup) % count;
        for (std::size_t k = 0; k < count; ++k) {
            std::size_t i = (first + k) % count;
            RunResult r = run(set.cases[i], prepared[i], nullptr);
            if (r.status != 0) {
                wrong_result("case '" + set.cases[i].label + "' failed, wait status " +
                             std::to_string(r.status));
            }
            if (round >= 0) {
                f->wall[i].push_back(r.milliseconds);
                f->cpu[i].push_back(r.cpu_milliseconds);
                f->faults[i].push_back(static_cast<double>(r.minor_faults));
            }
        }
    }
}

} // namespace
} // namespace spawn_bench

int main(int argc, char **argv) {
    using namespace spawn_bench;
    Options options = parse_options(argc, argv);
    std::string load_before = load_average();
    Tree tree = build_tree(options.variants);
    CaseSet set = make_cases(tree, options.variants);
    for (const Case &c : set.cases) {
        verify(c);
    }

    std::size_t count = set.cases.size();
    Figures f{.wall = std::vector<std::vector<double>>(count),
              .cpu = std::vector<std::vector<double>>(count),
              .faults = std::vector<std::vector<double>>(count),
              .rss = std::vector<std::vector<double>>(count),
              .syscalls = std::vector<long>(count)};
    time_rounds(set, options, &f);

    std::string strace = find_program("strace");
    if (strace.empty()) {
        die("strace not found: it counts the system calls (scripts/install-deps.sh bench)");
    }
    for (std::size_t i = 0; i < count; ++i) {
        // The fewest of three: a run can only gain calls (a retried read).
        long fewest = LONG_MAX;
        for (int n = 0; n < 3; ++n) {
            fewest = std::min(fewest, count_syscalls(strace, set.cases[i]));
        }
        f.syscalls[i] = fewest;
    }
    // The shell wrapper's process becomes its tool: it has no peak of its own.
    for (int round = 0; round < options.rss_rounds; ++round) {
        for (std::size_t i = 0; i < count; ++i) {
            if (i != set.shell) {
                f.rss[i].push_back(static_cast<double>(measure_rss(set.cases[i])));
            }
        }
    }

    std::printf("zin wrapper start-up: %d rounds (after %d warm-up), %zu cases interleaved\n",
                options.rounds, options.warmup, count);
    std::printf("load average before: %s, after: %s\n", load_before.c_str(),
                load_average().c_str());
    std::printf("tree: %s\n\n", tree.root.c_str());
    int status = report(set, f);
    if (!options.keep) {
        kit::remove_tree(ZIN_BENCH_TREE_DIR);
    }
    return status;
}
