// SPDX-License-Identifier: Apache-2.0
// Every interposed call of a whole wrapper run made to fail in turn: the
// wrapper must end with the message and status its failure calls for, and
// leave no process, descriptor or file behind. The fault library is
// preloaded into the wrapper only; the stand-in tool is static and runs clean.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <map>
#include <regex>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "driver/build_config.h"
#include "fault/zin_fault.h"
#include "hardening/hardening_test.h"
#include "testkit/files.h"
#include "testkit/process.h"

namespace {

using namespace kit;

// How a run with one failed call ended.
enum class Ending {
    unaffected,         // exactly the run without a fault
    vfork_retried,      // unaffected, after one recorded sleep before the second vfork
    out_of_memory,      // "\nout of memory allocating N bytes\n", status 1
    relocation_dropped, // a relocation allocation failed: the configured directory was used
    no_report_pipe,     // the child printed its exec failure itself, status 255
    report_lost,        // the parent could not read the child's report: status 255, no text
    status_lost,        // "Error running ...: pex_get_status failed", status 1
    reap_lost,          // unaffected, but the failed child could not be reaped
    close_left_open,    // the run hung: see the note above WrapperFaultWalk
    unexplained,
};

// The ending as the walk's table prints it, in the order of Ending.
const char *name_of(Ending ending) {
    static const char *const names[] = {
        "unaffected",  "vfork retried", "out of memory", "relocation dropped", "no report pipe",
        "report lost", "status lost",   "reap lost",     "close left open",    "UNEXPLAINED"};
    static_assert(std::size(names) == static_cast<std::size_t>(Ending::unexplained) + 1);
    return names[static_cast<std::size_t>(ending)];
}

// Calls per interposed function, as ZIN_FAULT_COUNTS reports them.
using Counts = std::map<std::string, unsigned long>;

// The counts written to `path`; empty when the file is missing.
Counts read_counts(const std::string &path) {
    Counts counts;
    if (access(path.c_str(), F_OK) != 0) {
        return counts;
    }
    std::istringstream in(read_file(path));
    std::string name;
    unsigned long count = 0;
    while (in >> name >> count) {
        counts[name] = count;
    }
    return counts;
}

// One wrapper run to walk, with what it does when nothing fails.
struct Scenario {
    const char *name;
    bool exec_fails; // the tool is a script whose interpreter does not exist
    std::string out;
    std::string err;
    int code;
};

// close: the fault library leaves a descriptor open when it fails close(),
// while Linux and FreeBSD release it whatever close() returns. A failed close
// of the error-report pipe's write end then keeps the parent's read from ever
// seeing end of file, so that one run hangs here (it is cut short after 3 s)
// although it cannot on the target. Every other failed close is harmless.
class WrapperFaultWalk : public HardeningTest {
  protected:
    void SetUp() override {
        HardeningTest::SetUp();
        if (!snapshot_.reaper) {
            GTEST_SKIP() << "needs a child subreaper to see what each faulty run left behind, "
                            "which qemu-user does not emulate";
        }
        make_dirs(at("counts"));
    }

    Launch launch_for(const Scenario &scenario) const {
        Launch launch = wrapper("zin-ar", {"rcs", "x.a", "a.o"});
        set_env(launch, "LD_PRELOAD", ZIN_HARDENING_FAULT_LIBRARY);
        if (!scenario.exec_fails) {
            set_env(launch, "STAND_IN_SHOW", "fds");
            set_env(launch, "STAND_IN_EXIT", "3");
        }
        // A normal run takes milliseconds; the only expected hang is cut short.
        launch.timeout_ms = 3000;
        return launch;
    }

    // Runs the scenario with `fault` ("" for none); returns the counts the
    // fault library wrote at exit (empty when the wrapper never got there).
    Outcome run(const Scenario &scenario, const std::string &fault, Counts *counts) {
        std::string counts_path = at("counts/run");
        std::remove(counts_path.c_str());
        Launch launch = launch_for(scenario);
        set_env(launch, "ZIN_FAULT_COUNTS", counts_path);
        if (!fault.empty()) {
            set_env(launch, "ZIN_FAULT", fault);
        }
        Outcome outcome = run_program(launch);
        *counts = read_counts(counts_path);
        return outcome;
    }

    std::string tool() const { return tree_.tool_dir + "ar"; }

    Ending classify(const Scenario &scenario, const std::string &function, unsigned long n,
                    unsigned long calls, const Outcome &finished, const Counts &counts) {
        int code = exit_code(finished.wait_status);
        const std::string &err = finished.err;
        bool allocator = function == "malloc" || function == "calloc" || function == "realloc";
        bool baseline =
            finished.out == scenario.out && err == scenario.err && code == scenario.code;
        if (finished.timed_out) {
            return function == "close" ? Ending::close_left_open : Ending::unexplained;
        }
        if (baseline) {
            if (function == "vfork") {
                return counts.count("sleep") != 0 && counts.at("sleep") == 1 ? Ending::vfork_retried
                                                                             : Ending::unexplained;
            }
            if (function == "waitpid" && scenario.exec_fails) {
                return Ending::reap_lost;
            }
            // The fault library's own report at exit allocates once more,
            // after it has stopped failing calls: that last count never fails.
            return !allocator || n == calls ? Ending::unaffected : Ending::unexplained;
        }
        static const std::regex oom("\nout of memory allocating [1-9][0-9]* bytes\n");
        if (allocator && code == 1 && std::regex_match(err, oom)) {
            // Before the tool ran, or after it had ended and been reaped.
            return finished.out.empty() || finished.out == scenario.out ? Ending::out_of_memory
                                                                        : Ending::unexplained;
        }
        std::string argv0 = tree_.bin_dir + "zin-ar";
        if (function == "malloc" && code == 1 && finished.out.empty() &&
            (err == argv0 + ": Cannot find binary 'ar'\n" ||
             err == argv0 + ": Cannot find plugin '" + plugin_file_name + "'\n")) {
            return Ending::relocation_dropped;
        }
        if (scenario.exec_fails && code == 255) {
            std::string text = "zin-" + tool() + ": error trying to exec '" + tool() +
                               "': execvp: " + std::strerror(ENOENT) + "\n";
            if ((function == "pipe2" || function == "write") && err == text) {
                return Ending::no_report_pipe;
            }
            if (function == "read" && err.empty()) {
                return Ending::report_lost;
            }
        }
        // The library serves vfork by fork, so the parent does not wait for the
        // child's exec or exit: after its failed read it may close the pipe
        // before the child writes the report, which then dies of SIGPIPE.
        // Under a real vfork the report is written first (the case above).
        if (scenario.exec_fails && function == "read" && code == 1 &&
            err == tool() + " terminated with signal " + std::to_string(SIGPIPE) + " [" +
                       strsignal(SIGPIPE) + "]\n") {
            return Ending::report_lost;
        }
        if (function == "waitpid" && code == 1 &&
            err == "Error running " + tool() + ": pex_get_status failed\n" &&
            finished.out == (scenario.exec_fails ? "" : scenario.out)) {
            return Ending::status_lost;
        }
        return Ending::unexplained;
    }

    // Walks every call of every function; returns the count of each ending.
    std::map<Ending, int> walk(const Scenario &scenario) {
        Counts totals;
        Outcome clean = run(scenario, "", &totals);
        EXPECT_EQ(clean.out, scenario.out);
        EXPECT_EQ(clean.err, scenario.err);
        EXPECT_EQ(exit_code(clean.wait_status), scenario.code);
        check_nothing_left(Ending::unaffected);

        std::map<Ending, int> tally;
        std::ostringstream table;
        for (const zin_fault_function &fallible : zin_fault_functions) {
            const char *function = fallible.name;
            unsigned long calls = totals.count(function) != 0 ? totals.at(function) : 0;
            unsigned long last_relocation = 0;
            unsigned long first_out_of_memory = 0;
            for (unsigned long n = 1; n <= calls; ++n) {
                std::string fault = std::string(function) + ":" + std::to_string(n);
                SCOPED_TRACE(std::string(scenario.name) + ", ZIN_FAULT=" + fault);
                Counts counts;
                Outcome finished = run(scenario, fault, &counts);
                Ending ending = classify(scenario, function, n, calls, finished, counts);
                if (ending == Ending::relocation_dropped) {
                    last_relocation = n;
                } else if (ending == Ending::out_of_memory && first_out_of_memory == 0) {
                    first_out_of_memory = n;
                }
                ++tally[ending];
                table << "  " << fault << ": " << name_of(ending) << "\n";
                EXPECT_NE(ending, Ending::unexplained)
                    << "status " << finished.wait_status << "\nout: " << finished.out
                    << "\nerr: " << finished.err;
                check_nothing_left(ending);
            }
            // Relocation runs first and alone uses the plain allocator.
            if (last_relocation != 0 && first_out_of_memory != 0) {
                EXPECT_LT(last_relocation, first_out_of_memory) << function;
            }
        }
        int injected = 0;
        for (const auto &[ending, count] : tally) {
            injected += count;
        }
        std::printf("%s: %d faults injected\n%s", scenario.name, injected, table.str().c_str());
        for (const auto &[ending, count] : tally) {
            std::printf("  %-20s %d\n", name_of(ending), count);
        }
        return tally;
    }

    // Nothing left behind (see HardeningTest). Where the wrapper could not wait
    // (or was killed), the one process it leaves must be its child, ended on
    // its own.
    void check_nothing_left(Ending ending) {
        bool child_left = ending == Ending::status_lost || ending == Ending::reap_lost ||
                          ending == Ending::close_left_open;
        Leftovers left = take_leftovers(snapshot_, child_left ? 3000 : 0);
        if (child_left) {
            EXPECT_TRUE(left.statuses.size() == 1 && WIFEXITED(left.statuses[0]))
                << "the child the wrapper could not wait for:\n"
                << describe(left);
            left.statuses.clear();
        }
        EXPECT_EQ(describe(left), "");
    }
};

TEST_F(WrapperFaultWalk, ToolRuns) {
    Scenario scenario = {"tool runs", false, fd_listing({0, 1, 2}), "", 3};
    std::map<Ending, int> tally = walk(scenario);
    EXPECT_GT(tally[Ending::out_of_memory], 0);
    EXPECT_GT(tally[Ending::vfork_retried], 0);
    EXPECT_GT(tally[Ending::status_lost], 0);
}

TEST_F(WrapperFaultWalk, ExecFails) {
    write_file(tool(), "#!/nonexistent/zin-interpreter\n", 0755);
    Scenario scenario = {"exec fails", true, "", "Error running " + tool() + ": execvp\n", 1};
    std::map<Ending, int> tally = walk(scenario);
    EXPECT_GT(tally[Ending::no_report_pipe], 0);
    EXPECT_GT(tally[Ending::report_lost], 0);
}

// Only one call fails per run, so four failed vfork attempts need a real
// limit: as an unprivileged user with RLIMIT_NPROC 0 every fork fails. The
// preloaded library turns the 1 + 2 + 4 + 8 seconds of back-off into records.
TEST_F(WrapperFaultWalk, VforkFailingEveryTimeIsReported) {
    Launch launch = launch_for({"", false, "", "", 0});
    std::string counts_path = at("counts/nobody");
    chmod(at("counts").c_str(), 0777);
    set_env(launch, "ZIN_FAULT_COUNTS", counts_path);
    launch.as_nobody = true;
    launch.no_processes = true;
    Outcome outcome = run_program(launch);
    if (exit_code(outcome.wait_status) == cannot_switch_user) {
        GTEST_SKIP() << "cannot switch to uid " << nobody_id << " with RLIMIT_NPROC 0 here";
    }
    EXPECT_EQ(outcome.err, "Error running " + tool() + ": vfork\n");
    EXPECT_EQ(exit_code(outcome.wait_status), 1);
    EXPECT_EQ(outcome.out, "");
    Counts counts = read_counts(counts_path);
    EXPECT_EQ(counts["vfork"], 4u);
    EXPECT_EQ(counts["sleep"], 4u);
}

} // namespace
