// SPDX-License-Identifier: Apache-2.0
// The start-up benchmark's pieces: the throwaway installation tree, the cases
// it times, measuring one run of a case, and the figures and their report.
#pragma once

#include <cstddef>
#include <spawn.h>
#include <string>
#include <utility>
#include <vector>

namespace spawn_bench {

// Ends the benchmark with status 2: it could not run.
[[noreturn]] void die(const std::string &what);
// die() with the text of errno appended.
[[noreturn]] void die_errno(const std::string &what);
// Ends the benchmark with status 1: a case did not do its job.
[[noreturn]] void wrong_result(const std::string &what);

// Other builds of zin-ar timed beside the shipped one: name and path.
using Variants = std::vector<std::pair<std::string, std::string>>;

// ---------------------------------------------------------------- spawn_tree.cc

// An installation tree moved to `root`, with its directories spelt the way the
// relocated wrappers spell them ("../" steps kept); directories end in '/'.
struct Tree {
    std::string root;
    std::string bin_dir;       // the wrappers and the variants
    std::string plugin_dir;    // where the wrappers find the plugin
    std::string tool_dir;      // where zin-ar finds ar
    std::string yardstick_dir; // the launchers' and the shell wrapper's tool and plugin
    std::string path_tool_dir; // last PATH entry of the zin-nm case, holding nm
    std::string search_path;   // the 30-entry PATH of the zin-nm case
};

// Makes the tree anew at ZIN_BENCH_TREE_DIR.
Tree build_tree(const Variants &variants);

// ---------------------------------------------------------------- spawn_cases.cc

struct Case {
    std::string label;
    std::string executable;        // started by this path
    std::vector<std::string> argv; // argv[0] as a build system would pass it
    std::string search_path;       // PATH of the run
    std::string expected_output;   // the tool's echo of its argv
};

// No such case (a launcher that was not built).
inline constexpr std::size_t absent = static_cast<std::size_t>(-1);

// The cases, in timing order, and where the yardsticks and zin-ar stand.
struct CaseSet {
    std::vector<Case> cases;
    std::size_t direct = absent;           // the tool alone
    std::size_t launcher_dynamic = absent; // minimal launcher, glibc, dynamic
    std::size_t launcher_static = absent;  // the same, glibc, static PIE
    std::size_t launcher_musl = absent;    // the same, musl, static PIE
    std::size_t shell = absent;            // #!/bin/sh exec wrapper
    std::size_t zin_ar = absent;           // the shipped zin-ar
};

CaseSet make_cases(const Tree &tree, const Variants &variants);

// ---------------------------------------------------------------- spawn_measure.cc

// The argv pointers and environment of a case, ready for posix_spawn.
struct Prepared {
    std::vector<std::string> argv_strings;
    std::vector<std::string> env_strings;
    std::vector<char *> argv;
    std::vector<char *> env;
};

struct RunResult {
    int status = 0;
    double milliseconds = 0;     // wall clock, spawn to reaped
    double cpu_milliseconds = 0; // user + system time of the case and its children
    long minor_faults = 0;       // of the case and its children
};

// The case's argv and environment (PATH its own; the tool echoes with `echo`).
Prepared prepare(const Case &c, bool echo);
// Starts the case as a build system does (a vfork-style spawn) and waits.
RunResult run(const Case &c, const Prepared &p, posix_spawn_file_actions_t *actions);
// Runs the case once with the tool echoing; wrong_result() unless the tool saw
// the expected command line, standard error stayed empty and the tool's exit
// status came back.
void verify(const Case &c);
// Peak resident memory in KiB of the case's own process (not its tool's).
long measure_rss(const Case &c);
// The path of `name` on PATH, or "".
std::string find_program(const char *name);
// System calls of one run, the tool's included, as `strace -f -c` counts them.
long count_syscalls(const std::string &strace, const Case &c);

// ---------------------------------------------------------------- spawn_report.cc

// What was measured, per case in the order of the CaseSet.
struct Figures {
    std::vector<std::vector<double>> wall, cpu, faults, rss; // one sample per round
    std::vector<long> syscalls;
};

// Prints the tables and zin-ar against its budgets; the exit status: 0 when it
// keeps to all, 1 when it exceeds one, 2 when they cannot be checked here.
int report(const CaseSet &set, const Figures &figures);

} // namespace spawn_bench
