// SPDX-License-Identifier: Apache-2.0
// Whole pipelines of real programs over the Unix back end.
#include <cerrno>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <vector>

#include "pex/hygiene.h"
#include "pex/pex.h"
#include "testkit/files.h"
#include "testkit/launch.h"
#include "testkit/process.h"

namespace {

constexpr std::size_t several_mib = 6u << 20;

// What `yes 0123456789abcdef | head -c size` prints, upper-cased when asked.
std::string pattern(std::size_t size, bool upper) {
    std::string line = upper ? "0123456789ABCDEF\n" : "0123456789abcdef\n";
    std::string text;
    text.reserve(size + line.size());
    while (text.size() < size) {
        text += line;
    }
    text.resize(size);
    return text;
}

const std::string produce_command = "yes 0123456789abcdef | head -c " + std::to_string(several_mib);

class PipelineTest : public HygieneTest {
  protected:
    // Starts one stage running `command` under /bin/sh.
    const char *shell(Pipeline *pipeline, unsigned flags, const std::string &command,
                      const char *outname = nullptr, const char *errname = nullptr) {
        const char *const argv[] = {"sh", "-c", command.c_str(), nullptr};
        error_number_ = -7;
        return pex_run_stage(pipeline, flags, "/bin/sh", argv, outname, errname, &error_number_);
    }

    const char *cat(Pipeline *pipeline, unsigned flags, const char *outname = nullptr) {
        const char *const argv[] = {"cat", nullptr};
        return pex_run_stage(pipeline, flags | PEX_PATH_SEARCH, "cat", argv, outname, nullptr,
                             &error_number_);
    }

    void expect_all_succeeded(Pipeline *pipeline, int count) {
        std::vector<int> statuses(static_cast<std::size_t>(count), -1);
        ASSERT_EQ(pex_get_status(pipeline, count, statuses.data()), 1);
        for (int status : statuses) {
            EXPECT_EQ(status, 0);
        }
    }

    int error_number_ = 0;
};

TEST_F(PipelineTest, PipedStagesMoveSeveralMiB) {
    Pipeline *pipeline = pex_create(PEX_INIT_PIPES, "zin-test", nullptr);
    ASSERT_EQ(shell(pipeline, 0, produce_command), nullptr);
    ASSERT_EQ(cat(pipeline, 0), nullptr);
    ASSERT_EQ(shell(pipeline, 0, "tr a-f A-F"), nullptr);
    std::FILE *output = pex_output_stream(pipeline, 0);
    ASSERT_NE(output, nullptr);
    std::string text = kit::read_stream(output);
    EXPECT_EQ(text.size(), several_mib);
    EXPECT_TRUE(text == pattern(several_mib, true));
    expect_all_succeeded(pipeline, 3);
    pex_release(pipeline);
}

TEST_F(PipelineTest, TemporaryFileStagesMoveSeveralMiB) {
    std::string out = at("out");
    Pipeline *pipeline = pex_create(0, "zin-test", nullptr);
    ASSERT_EQ(shell(pipeline, 0, produce_command), nullptr);
    ASSERT_EQ(cat(pipeline, PEX_BINARY_IN | PEX_BINARY_OUT), nullptr);
    ASSERT_EQ(shell(pipeline, PEX_FINAL_STAGE, "tr a-f A-F", out.c_str()), nullptr);
    EXPECT_EQ(kit::entries(scratch_).size(), 3u) << "two temporary files and the output";
    expect_all_succeeded(pipeline, 3);
    pex_release(pipeline);
    EXPECT_TRUE(kit::read_file(out) == pattern(several_mib, true));
    EXPECT_EQ(take_scratch_entries(), (std::set<std::string>{"out"}));
}

TEST_F(PipelineTest, KeptTemporaryFilesAndOutputStream) {
    std::string base = at("stage.");
    Pipeline *pipeline = pex_create(PEX_INIT_KEEP_TEMPS, "zin-test", base.c_str());
    ASSERT_EQ(shell(pipeline, 0, "echo one"), nullptr);
    ASSERT_EQ(shell(pipeline, PEX_NAME_IS_SUFFIX, "cat; echo two", ".second"), nullptr);
    std::FILE *output = pex_output_stream(pipeline, 0);
    ASSERT_NE(output, nullptr);
    EXPECT_EQ(kit::read_stream(output), "one\ntwo\n");
    pex_release(pipeline);
    std::set<std::string> kept = take_scratch_entries();
    EXPECT_EQ(kept.size(), 2u);
    EXPECT_EQ(kept.count("stage..second"), 1u);
}

TEST_F(PipelineTest, InputFromFile) {
    std::string out = at("out");
    for (unsigned pipeline_flags : {0u, static_cast<unsigned>(PEX_INIT_PIPES)}) {
        Pipeline *pipeline = pex_create(pipeline_flags, "zin-test", nullptr);
        std::FILE *input = pex_open_input_file(pipeline, 0, nullptr);
        ASSERT_NE(input, nullptr);
        std::fputs("some words\n", input);
        ASSERT_EQ(cat(pipeline, 0), nullptr);
        ASSERT_EQ(shell(pipeline, PEX_FINAL_STAGE, "tr a-z A-Z", out.c_str()), nullptr);
        expect_all_succeeded(pipeline, 2);
        pex_release(pipeline);
        EXPECT_EQ(kit::read_file(out), "SOME WORDS\n");
        std::remove(out.c_str());
    }
}

// The caller writes the input while reading the output: this only ends if no
// child holds the input's write end.
TEST_F(PipelineTest, InputFromPipeWhileReadingOutput) {
    Pipeline *pipeline = pex_create(PEX_INIT_PIPES, "zin-test", nullptr);
    std::FILE *input = pex_open_input_pipe(pipeline, 1);
    ASSERT_NE(input, nullptr);
    ASSERT_EQ(cat(pipeline, 0), nullptr);
    ASSERT_EQ(shell(pipeline, 0, "tr a-f A-F"), nullptr);
    std::FILE *output = pex_output_stream(pipeline, 1);
    ASSERT_NE(output, nullptr);
    std::string sent = pattern(several_mib, false);
    std::thread writer([&] {
        std::fwrite(sent.data(), 1, sent.size(), input);
        std::fclose(input);
    });
    std::string received = kit::read_stream(output);
    writer.join();
    EXPECT_EQ(received.size(), several_mib);
    EXPECT_TRUE(received == pattern(several_mib, true));
    expect_all_succeeded(pipeline, 2);
    pex_release(pipeline);
}

TEST_F(PipelineTest, StderrThroughPipe) {
    std::string out = at("out");
    Pipeline *pipeline = pex_create(PEX_INIT_PIPES, "zin-test", nullptr);
    ASSERT_EQ(shell(pipeline, PEX_STDERR_TO_PIPE, "echo data; echo diagnostics >&2"), nullptr);
    EXPECT_STREQ(cat(pipeline, PEX_FINAL_STAGE, out.c_str()),
                 "PEX_STDERR_TO_PIPE used in the middle of pipeline");
    pex_release(pipeline);
    std::remove(out.c_str());

    pipeline = pex_create(PEX_INIT_PIPES, "zin-test", nullptr);
    ASSERT_EQ(shell(pipeline, PEX_STDERR_TO_PIPE, "echo data; echo diagnostics >&2"), nullptr);
    std::FILE *errors = pex_error_stream(pipeline, 0);
    ASSERT_NE(errors, nullptr);
    EXPECT_EQ(kit::read_stream(errors), "diagnostics\n");
    ASSERT_EQ(cat(pipeline, PEX_FINAL_STAGE, out.c_str()), nullptr);
    expect_all_succeeded(pipeline, 2);
    pex_release(pipeline);
    EXPECT_EQ(kit::read_file(out), "data\n");
    std::remove(out.c_str());
}

TEST_F(PipelineTest, CpuTimes) {
    Pipeline *pipeline = pex_create(PEX_INIT_TIMES, "zin-test", nullptr);
    ASSERT_EQ(shell(pipeline, PEX_FINAL_STAGE, "i=0; while [ $i -lt 200000 ]; do i=$((i+1)); done"),
              nullptr);
    PexStageTimes times[2];
    std::memset(times, 0xff, sizeof times);
    ASSERT_EQ(pex_get_stage_times(pipeline, 2, times), 1);
    std::int64_t used = (times[0].user_sec + times[0].system_sec) * 1000000 + times[0].user_usec +
                        times[0].system_usec;
    EXPECT_GT(used, 0);
    EXPECT_GE(times[0].user_usec, 0);
    EXPECT_LT(times[0].user_usec, 1000000);
    EXPECT_EQ(times[1].user_sec, 0) << "zero past the stages";
    pex_release(pipeline);
}

TEST_F(PipelineTest, FailedStartReportsAndCleansUp) {
    Pipeline *pipeline = pex_create(PEX_INIT_PIPES, "zin-test", nullptr);
    // exec: the shell forks no child that the release's SIGTERM would orphan.
    ASSERT_EQ(shell(pipeline, 0, "exec sleep 10"), nullptr);
    const char *const argv[] = {"zin-no-such-program", nullptr};
    EXPECT_STREQ(pex_run_stage(pipeline, PEX_FINAL_STAGE | PEX_PATH_SEARCH, "zin-no-such-program",
                               argv, nullptr, nullptr, &error_number_),
                 "execvp");
    EXPECT_EQ(error_number_, ENOENT);
    EXPECT_EQ(pipeline->stage_count, 1);
    pex_release(pipeline); // ends the first stage, never collected
}

TEST_F(PipelineTest, ReleaseEndsRunningChildren) {
    Pipeline *pipeline = pex_create(0, "zin-test", nullptr);
    const char *const argv[] = {"sleep", "10", nullptr};
    ASSERT_EQ(pex_run_stage(pipeline, PEX_FINAL_STAGE, "/bin/sleep", argv, nullptr, nullptr,
                            &error_number_),
              nullptr);
    pex_release(pipeline);
}

// Run as uid 65534: root may write anywhere.
TEST_F(PipelineTest, UnwritableOutputDirectory) {
    std::string locked = at("locked");
    ASSERT_EQ(mkdir(locked.c_str(), 0755), 0);
    std::string out = locked + "/out";
    kit::ChildOutcome child = kit::run_in_child(
        [&] {
            Pipeline *pipeline = pex_create(0, "zin-test", nullptr);
            const char *message = cat(pipeline, PEX_FINAL_STAGE, out.c_str());
            pex_release(pipeline);
            if (message == nullptr || std::strcmp(message, "open temporary output file") != 0) {
                return 1;
            }
            return error_number_ == EACCES ? 0 : 2;
        },
        true);
    EXPECT_EQ(kit::exit_code(child.wait_status), 0) << child.err;
    EXPECT_EQ(take_scratch_entries(), (std::set<std::string>{"locked"}));
}

TEST_F(PipelineTest, RunOnce) {
    const char *const exit3[] = {"sh", "-c", "exit 3", nullptr};
    int status = -1;
    int error_number = -7;
    EXPECT_EQ(pex_run_once(PEX_FINAL_STAGE | PEX_PATH_SEARCH, "sh", exit3, "zin-test", nullptr,
                           nullptr, &status, &error_number),
              nullptr);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 3);
    EXPECT_EQ(error_number, -7);

    std::string out = at("out");
    const char *const echo[] = {"sh", "-c", "echo once", nullptr};
    EXPECT_EQ(pex_run_once(PEX_FINAL_STAGE, "/bin/sh", echo, "zin-test", out.c_str(), nullptr,
                           &status, &error_number),
              nullptr);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(kit::read_file(out), "once\n");
    std::remove(out.c_str());

    status = -1;
    const char *const missing[] = {"zin-no-such-program", nullptr};
    EXPECT_STREQ(pex_run_once(PEX_FINAL_STAGE | PEX_PATH_SEARCH, "zin-no-such-program", missing,
                              "zin-test", nullptr, nullptr, &status, &error_number),
                 "execvp");
    EXPECT_EQ(error_number, ENOENT);
    EXPECT_EQ(status, -1) << "written only when obtained";
}

} // namespace
