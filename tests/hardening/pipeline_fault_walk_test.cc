// SPDX-License-Identifier: Apache-2.0
// Every interposed call of each kind of pipeline made to fail in turn, in a
// forked copy of this test: the pipeline must either produce exactly its
// normal result or report a failure its operations document, and afterwards
// hold no descriptor, child process or temporary file. The single-call cases
// of the Unix back end are in tests/pex/pex_unix_backend_fault_test.cc.
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <initializer_list>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "fault/zin_fault.h"
#include "pex/hygiene.h"
#include "pex/pex.h"
#include "support/fatal_exit.h"
#include "testkit/files.h"
#include "testkit/leftovers.h"
#include "testkit/process.h"

namespace {

// What one pipeline run produced. Filled without allocating: between arming
// and disarming the fault library only the code under test may allocate.
struct Result {
    const char *message = nullptr; // the pipeline's message, or the stream step that gave null
    int error_number = 0;          // its error number, or errno for a null stream
    int statuses[2] = {-1, 0};     // a one-stage scenario fills the first only
    bool times_read = false;
    char output[64] = {}; // what the caller read from the output stream
    char errors[64] = {}; // what the caller read from the standard-error stream
};

// Prepared outside the armed section.
struct Paths {
    const char *out;       // final output file
    const char *temp_base; // base for temporary names
};

// The stages of the two-stage pipelines: produce | upcase.
const char *const produce[] = {"sh", "-c", "printf abc", nullptr};
const char *const upcase[] = {"tr", "a-z", "A-Z", nullptr};

// Whether `function` is one of `names`.
bool is_one_of(const char *function, std::initializer_list<const char *> names) {
    return std::any_of(names.begin(), names.end(),
                       [&](const char *name) { return std::strcmp(function, name) == 0; });
}

// Reads a stream into a fixed buffer.
void read_into(std::FILE *stream, char *buffer, std::size_t size) {
    std::size_t got = std::fread(buffer, 1, size - 1, stream);
    buffer[got] = '\0';
}

// Records a step that gave a null stream, with errno; true when it did.
bool failed(std::FILE *stream, const char *step, Result *result) {
    if (stream == nullptr) {
        result->message = step;
        result->error_number = errno;
    }
    return stream == nullptr;
}

// Unless a step failed: the statuses of `stages` stages and, when asked,
// their times. Then the pipeline is released.
void finish(Pipeline *pipeline, int stages, Result *result, bool times = false) {
    if (result->message == nullptr && pex_get_status(pipeline, stages, result->statuses) == 0) {
        result->message = "pex_get_status";
    }
    PexStageTimes read_times[2];
    if (times && result->message == nullptr) {
        result->times_read = pex_get_stage_times(pipeline, stages, read_times) == 1;
    }
    pex_release(pipeline);
}

// One program through pex_run_once, its output in a file.
void one_stage(const Paths &paths, Result *result) {
    const char *const argv[] = {"sh", "-c", "printf abc; exit 3", nullptr};
    result->message = pex_run_once(PEX_FINAL_STAGE | PEX_PATH_SEARCH, "sh", argv, "zin-test",
                                   paths.out, nullptr, &result->statuses[0], &result->error_number);
}

// produce | upcase > out, connected by pipes (PEX_INIT_PIPES) or by files in
// the temporary directory or named after temp_base (`named`).
template <unsigned flags, bool named>
void two_stages(const Paths &paths, Result *result) {
    Pipeline *pipeline = pex_create(flags, "zin-test", named ? paths.temp_base : nullptr);
    result->message = pex_run_stage(pipeline, PEX_PATH_SEARCH, "sh", produce, nullptr, nullptr,
                                    &result->error_number);
    if (result->message == nullptr) {
        result->message = pex_run_stage(pipeline, PEX_FINAL_STAGE | PEX_PATH_SEARCH, "tr", upcase,
                                        paths.out, nullptr, &result->error_number);
    }
    finish(pipeline, 2, result);
}

// Input through a pipe stream, output and standard error read as streams.
void streams(const Paths &, Result *result) {
    Pipeline *pipeline = pex_create(PEX_INIT_PIPES | PEX_INIT_TIMES, "zin-test", nullptr);
    std::FILE *input = pex_open_input_pipe(pipeline, 0);
    if (!failed(input, "pex_open_input_pipe", result)) {
        std::fputs("abc", input);
        std::fclose(input);
        // One process: a stage ended by the release must leave no child of its own.
        const char *const argv[] = {"sh", "-c", "printf e >&2; exec tr a-z A-Z", nullptr};
        result->message = pex_run_stage(pipeline, PEX_STDERR_TO_PIPE, "/bin/sh", argv, nullptr,
                                        nullptr, &result->error_number);
    }
    if (result->message == nullptr) {
        std::FILE *output = pex_output_stream(pipeline, 0);
        if (!failed(output, "pex_output_stream", result)) {
            read_into(output, result->output, sizeof result->output);
            std::FILE *errors = pex_error_stream(pipeline, 0);
            if (!failed(errors, "pex_error_stream", result)) {
                read_into(errors, result->errors, sizeof result->errors);
            }
        }
    }
    finish(pipeline, 1, result, true);
}

// Input from a file the pipeline creates and the caller writes.
void input_file(const Paths &paths, Result *result) {
    Pipeline *pipeline = pex_create(0, "zin-test", nullptr);
    std::FILE *input = pex_open_input_file(pipeline, 0, nullptr);
    if (!failed(input, "pex_open_input_file", result)) {
        std::fputs("abc", input);
        result->message = pex_run_stage(pipeline, PEX_FINAL_STAGE | PEX_PATH_SEARCH, "tr", upcase,
                                        paths.out, nullptr, &result->error_number);
    }
    finish(pipeline, 1, result);
}

// One kind of pipeline and its normal result.
struct Scenario {
    const char *name;
    void (*run)(const Paths &, Result *);
    int first_status;     // raw wait status of the first stage
    bool streams;         // output read as streams rather than from the output file
    const char *expected; // the output: the file's, or "<output stream>|<error stream>"
};

const Scenario scenarios[] = {
    {"one stage", one_stage, 3 << 8, false, "abc"},
    {"piped stages", two_stages<PEX_INIT_PIPES, false>, 0, false, "ABC"},
    {"temporary-file stages", two_stages<0, false>, 0, false, "ABC"},
    {"named temporary-file stages", two_stages<0, true>, 0, false, "ABC"},
    {"streams", streams, 0, true, "ABC|e"},
    {"input file", input_file, 0, false, "ABC"},
};

// The functions whose failure may produce each message (the fault library
// also fails the call in the forked child that stands in for vfork's).
const std::map<std::string, std::set<std::string>> message_sources = {
    {"pipe", {"pipe"}},
    {"open temporary output file", {"open"}},
    {"open temporary file", {"open"}},
    {"could not create temporary file", {"mkstemps"}},
    {"dup2", {"dup2"}},
    {"close", {"close"}},
    {"wait", {"waitpid", "wait4"}},
    {"pex_get_status failed", {"waitpid", "wait4"}},
    {"pex_get_status", {"waitpid", "wait4"}},
    {"pex_open_input_pipe", {"pipe", "fcntl", "fdopen", "malloc"}},
    {"pex_open_input_file", {"malloc", "mkstemps"}},
    {"pex_output_stream", {"fdopen", "malloc"}},
    {"pex_error_stream", {"fdopen", "malloc"}}};

// Messages that carry no system error.
const std::set<std::string> without_errno = {"could not create temporary file",
                                             "pex_get_status failed", "pex_get_status"};

class PipelineFaultWalk : public HygieneTest {
  protected:
    void SetUp() override {
        HygieneTest::SetUp();
        if (ZIN_CROSS_EMULATED) {
            GTEST_SKIP() << "needs a child subreaper to see what each faulty pipeline left "
                            "behind, which qemu-user does not emulate";
        }
        alarm(0); // the walk runs longer than one case's alarm; each child has its own
        ASSERT_TRUE(snapshot_.reaper);
        out_ = at("out");
        temp_base_ = at("stage.");
    }

    // Runs `body` in a forked copy of this process, which reports through a
    // pipe; returns the copy's raw status, its report and its standard error.
    static int in_copy(const std::function<void(int report_fd)> &body, std::string *report,
                       std::string *log) {
        int channel[2];
        EXPECT_EQ(pipe2(channel, O_CLOEXEC), 0);
        kit::ChildOutcome copy = kit::run_in_child([&] {
            alarm(2); // a hang ends the copy with SIGALRM
            // An allocation failure ends the copy at once, its message already
            // written, without the exit handlers of this test program.
            fatal_exit_hook = [] { _exit(1); };
            body(channel[1]);
            return 0;
        });
        close(channel[1]);
        *report = kit::read_fd(channel[0]);
        close(channel[0]);
        *log = copy.err;
        return copy.wait_status;
    }

    // Call counts of an undisturbed run.
    std::map<std::string, unsigned long> count_calls(const Scenario &scenario) {
        std::string report, log;
        Paths paths = {out_.c_str(), temp_base_.c_str()};
        int status = in_copy(
            [&](int report_fd) {
                zin_fault_disarm();
                zin_fault_reset();
                Result result;
                scenario.run(paths, &result);
                std::string counts;
                for (const zin_fault_function &function : zin_fault_functions) {
                    counts += std::string(function.name) + " " +
                              std::to_string(zin_fault_calls(function.name)) + "\n";
                }
                counts += result.message == nullptr ? "ok\n" : "failed\n";
                (void)!write(report_fd, counts.data(), counts.size());
            },
            &report, &log);
        EXPECT_EQ(status, 0) << log;
        EXPECT_NE(report.find("ok\n"), std::string::npos) << scenario.name << " fails unfaulted";
        std::map<std::string, unsigned long> counts;
        std::istringstream lines(report);
        std::string name;
        for (unsigned long count; lines >> name >> count;) {
            counts[name] = count;
        }
        std::remove(out_.c_str());
        return counts;
    }

    // The copy's own verdict after one faulted run: "" when it is sound.
    static std::string judge(const Scenario &scenario, const zin_fault_function &function,
                             const Result &result, const std::string &out_path) {
        if (result.message == nullptr) {
            std::string output = scenario.streams ? std::string(result.output) + "|" + result.errors
                                                  : kit::read_file(out_path);
            std::string expected = scenario.expected;
            if (output != expected) {
                return "output '" + output + "' instead of '" + expected + "'";
            }
            if (result.statuses[0] != scenario.first_status || result.statuses[1] != 0) {
                return "statuses " + std::to_string(result.statuses[0]) + " " +
                       std::to_string(result.statuses[1]);
            }
            if (scenario.streams && !result.times_read) {
                return "stage times not read";
            }
            return "";
        }
        auto sources = message_sources.find(result.message);
        if (sources == message_sources.end()) {
            return std::string("undocumented message '") + result.message + "'";
        }
        if (sources->second.count(function.name) == 0) {
            return std::string("message '") + result.message + "' from a failed " + function.name;
        }
        int expected_errno = without_errno.count(result.message) != 0 ? 0 : function.natural_errno;
        if (result.error_number != expected_errno) {
            return std::string("error number ") + std::to_string(result.error_number) + " for '" +
                   result.message + "'";
        }
        return "";
    }

    std::string out_;
    std::string temp_base_;
};

TEST_F(PipelineFaultWalk, EveryCallOfEveryScenario) {
    std::map<std::string, int> tally;
    int injected = 0;
    for (const Scenario &scenario : scenarios) {
        std::map<std::string, unsigned long> counts = count_calls(scenario);
        for (const zin_fault_function &fallible : zin_fault_functions) {
            const char *function = fallible.name;
            // The library counts only this process's calls. The stand-in for
            // vfork's child counts on from the parent's number at the fork,
            // so a few more reach the child's own dup2, close and write.
            bool child_side = is_one_of(function, {"dup2", "close", "write"});
            unsigned long limit = counts[function] + (child_side ? 3 : 0);
            for (unsigned long n = 1; n <= limit; ++n) {
                SCOPED_TRACE(std::string(scenario.name) + ", " + function + " call " +
                             std::to_string(n));
                ++injected;
                Paths paths = {out_.c_str(), temp_base_.c_str()};
                std::string report, log;
                int status = in_copy(
                    [&](int report_fd) {
                        kit::Snapshot before = kit::take_snapshot();
                        zin_fault_arm(function, n, 1, 0);
                        Result result;
                        scenario.run(paths, &result);
                        zin_fault_disarm();
                        std::string verdict = judge(scenario, fallible, result, paths.out);
                        kit::Leftovers left = kit::take_leftovers(before);
                        // A close the library failed really stays open (see the
                        // note in wrapper_fault_walk_test.cc): that one, no other.
                        if (std::strcmp(function, "close") == 0 && left.opened.size() == 1 &&
                            left.closed.empty()) {
                            left.opened.clear();
                        }
                        // A stage the pipeline could not wait for is still there.
                        if (is_one_of(function, {"waitpid", "wait4"})) {
                            left.statuses.clear();
                            left.killed = 0;
                        }
                        verdict += kit::describe(left);
                        std::string outcome =
                            result.message == nullptr ? "completed" : result.message;
                        std::string line = verdict.empty() ? "ok " + outcome : "BAD " + verdict;
                        (void)!write(report_fd, line.data(), line.size());
                    },
                    &report, &log);
                std::string outcome;
                bool allocator = is_one_of(function, {"malloc", "calloc", "realloc"});
                if (WIFEXITED(status) && WEXITSTATUS(status) == 0 && report.rfind("ok ", 0) == 0) {
                    outcome = report.substr(3);
                } else if (allocator && WIFEXITED(status) && WEXITSTATUS(status) == 1 &&
                           log.find("\nout of memory allocating ") != std::string::npos) {
                    outcome = "out of memory";
                } else if (WIFSIGNALED(status) && WTERMSIG(status) == SIGABRT &&
                           (std::strcmp(function, "mkstemps") == 0
                                ? log.find("Cannot create temporary file in ") != std::string::npos
                                // The new temporary file's descriptor could not be closed.
                                : std::strcmp(function, "close") == 0 && log.empty())) {
                    outcome = "temporary file abort";
                } else if (std::strcmp(function, "close") == 0 && WIFSIGNALED(status) &&
                           WTERMSIG(status) == SIGALRM) {
                    // See the close note in wrapper_fault_walk_test.cc.
                    outcome = "close left open";
                } else {
                    ADD_FAILURE() << "status " << status << ", report '" << report << "'\n" << log;
                    outcome = "BAD";
                }
                ++tally[std::string(function) + " -> " + outcome];
                // A copy that ended without releasing its pipeline leaves its
                // stages to this process and its temporary files behind.
                kit::Leftovers left = kit::take_leftovers(snapshot_, 3000);
                std::erase(left.files, out_);
                if (outcome == "out of memory" || outcome == "temporary file abort" ||
                    outcome == "close left open") {
                    tally["  files left by an ended process"] +=
                        static_cast<int>(left.files.size());
                    left.files.clear();
                    left.statuses.clear();
                }
                EXPECT_EQ(kit::describe(left), "");
            }
        }
    }
    std::printf("%d faults injected\n", injected);
    for (const auto &[what, count] : tally) {
        std::printf("  %-50s %d\n", what.c_str(), count);
    }
    EXPECT_GT(injected, 100);
}

} // namespace
