// SPDX-License-Identifier: Apache-2.0
// Starting stages and collecting statuses, against the recording back end.
#include <cerrno>
#include <string>

#include "pex/hygiene.h"
#include "testkit/files.h"

namespace {

const char *const no_args[] = {"prog", nullptr};

using PexStageTest = FakePipelineTest;

TEST_F(PexStageTest, SingleFinalStageUsesTheCallersDescriptors) {
    Pipeline *pipeline = make(0);
    const char *const env[] = {"A=1", nullptr};
    ASSERT_EQ(pex_run_stage_env(pipeline, PEX_FINAL_STAGE | PEX_PATH_SEARCH, "tool", no_args, env,
                                nullptr, nullptr, &error_number_),
              nullptr);
    EXPECT_EQ(error_number_, -7) << "untouched on success";
    ASSERT_EQ(fake().spawns.size(), 1u);
    const FakeSpawn &spawn = fake().spawns[0];
    EXPECT_EQ(spawn.flags, static_cast<int>(PEX_FINAL_STAGE | PEX_PATH_SEARCH));
    EXPECT_EQ(spawn.executable, "tool");
    EXPECT_TRUE(spawn.has_env);
    EXPECT_EQ(spawn.in_fd, 0);
    EXPECT_EQ(spawn.out_fd, 1);
    EXPECT_EQ(spawn.err_fd, 2);
    EXPECT_EQ(spawn.child_close_fd, -1);
    EXPECT_TRUE(fake().closes.empty());
    EXPECT_EQ(pipeline->stage_count, 1);
    EXPECT_EQ(pipeline->child_pids[0], 1000);
    EXPECT_EQ(pipeline->next_input_fd, -1);

    EXPECT_STREQ(run(pipeline, PEX_FINAL_STAGE), "pipeline already complete");
    EXPECT_EQ(error_number_, 0);
    EXPECT_EQ(fake().spawns.size(), 1u);
    release_and_check(pipeline);
    ASSERT_EQ(fake().waits.size(), 1u);
    EXPECT_EQ(fake().waits[0].terminate_first, 1) << "never collected: ended first";
}

TEST_F(PexStageTest, PipedStagesHandOnReadEnds) {
    Pipeline *pipeline = make(PEX_INIT_PIPES);
    ASSERT_EQ(run(pipeline, PEX_BINARY_OUT), nullptr);
    ASSERT_EQ(run(pipeline, 0), nullptr);
    ASSERT_EQ(run(pipeline, PEX_FINAL_STAGE), nullptr);
    const auto &spawns = fake().spawns;
    ASSERT_EQ(spawns.size(), 3u);
    // Pipe one is 100 (read) / 101 (write), pipe two 102 / 103: input, output
    // and the read end the child closes, stage by stage.
    EXPECT_EQ(fake().pipe_modes, (std::vector<int>{1, 0}));
    const int expected[3][3] = {{0, 101, 100}, {100, 103, 102}, {102, 1, -1}};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(spawns[i].in_fd, expected[i][0]) << i;
        EXPECT_EQ(spawns[i].out_fd, expected[i][1]) << i;
        EXPECT_EQ(spawns[i].child_close_fd, expected[i][2]) << i;
    }
    EXPECT_TRUE(fake().closes.empty()) << "the back end closed the parent's copies";
    EXPECT_EQ(pipeline->stage_count, 3);
    EXPECT_EQ((std::vector<pid_t>(pipeline->child_pids, pipeline->child_pids + 3)),
              (std::vector<pid_t>{1000, 1001, 1002}));
    release_and_check(pipeline);
}

TEST_F(PexStageTest, FinalOutputFileAndErrorFileModes) {
    Pipeline *pipeline = make(0, "base.");
    ASSERT_EQ(
        run(pipeline,
            PEX_FINAL_STAGE | PEX_NAME_IS_SUFFIX | PEX_BINARY_OUT | PEX_APPEND_OUT | PEX_BINARY_ERR,
            "out", "err.txt"),
        nullptr);
    const auto &writes = fake().writes;
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(writes[0].name, "base.out");
    EXPECT_EQ(writes[0].binary_mode, 1);
    EXPECT_EQ(writes[0].append, 1);
    EXPECT_EQ(writes[1].name, "err.txt");
    EXPECT_EQ(writes[1].binary_mode, 1);
    EXPECT_EQ(writes[1].append, 0);
    EXPECT_EQ(fake().spawns[0].out_fd, writes[0].fd);
    EXPECT_EQ(fake().spawns[0].err_fd, writes[1].fd);
    EXPECT_EQ(pipeline->temp_file_count, 0) << "a final output is never removed";
    release_and_check(pipeline);

    fake_reset();
    pipeline = make(0);
    ASSERT_EQ(run(pipeline, PEX_FINAL_STAGE | PEX_APPEND_ERR, "plain.out", "e"), nullptr);
    EXPECT_EQ(fake().writes[0].name, "plain.out");
    EXPECT_EQ(fake().writes[0].append, 0);
    EXPECT_EQ(fake().writes[1].append, 1);
    release_and_check(pipeline);
}

TEST_F(PexStageTest, TemporaryFilesAreListedForRemoval) {
    std::string base = at("t");
    Pipeline *pipeline = make(0, base.c_str());
    std::string callers = at("named.tmp");
    const char *callers_name = callers.c_str();
    ASSERT_EQ(run(pipeline, 0, callers_name), nullptr);
    EXPECT_EQ(pipeline->next_input_path, callers_name) << "the caller's string itself";
    EXPECT_EQ(pipeline->next_input_path_owned, 0);
    ASSERT_EQ(pipeline->temp_file_count, 1);
    EXPECT_NE(pipeline->temp_files[0], callers_name) << "a copy sits on the list";
    EXPECT_EQ(pipeline->temp_files[0], callers);

    ASSERT_EQ(run(pipeline, PEX_BINARY_IN), nullptr);
    EXPECT_EQ(fake().reads[0].name, callers);
    EXPECT_EQ(fake().reads[0].binary_mode, 1);
    ASSERT_EQ(pipeline->temp_file_count, 2);
    std::string made = pipeline->temp_files[1];
    EXPECT_EQ(made.rfind(base, 0), 0u);
    EXPECT_EQ(made.size(), base.size() + 6);
    EXPECT_EQ(pipeline->next_input_path, pipeline->temp_files[1]);
    EXPECT_EQ(pipeline->next_input_path_owned, 0);

    ASSERT_EQ(run(pipeline, PEX_FINAL_STAGE), nullptr);
    EXPECT_EQ(fake().reads[1].name, made);
    EXPECT_EQ(pipeline->next_input_path, nullptr);
    // Each later stage first waited for every earlier one, in order.
    ASSERT_EQ(fake().waits.size(), 2u);
    EXPECT_EQ(fake().waits[0].pid, 1000);
    EXPECT_EQ(fake().waits[0].terminate_first, 0);
    EXPECT_EQ(fake().waits[1].pid, 1001);
    EXPECT_EQ(pipeline->waited_count, 2);
    EXPECT_EQ(fake().spawns[1].child_close_fd, -1);
    EXPECT_EQ(kit::entries(scratch_).size(), 1u) << "the made file exists until release";
    release_and_check(pipeline);
    EXPECT_TRUE(kit::entries(scratch_).empty());
}

TEST_F(PexStageTest, KeptTemporariesAreFreedNotListed) {
    std::string base = at("k");
    Pipeline *pipeline = make(PEX_INIT_KEEP_TEMPS, base.c_str());
    ASSERT_EQ(run(pipeline, 0), nullptr);
    EXPECT_EQ(pipeline->temp_file_count, 0);
    EXPECT_EQ(pipeline->next_input_path_owned, 1);
    std::string made = pipeline->next_input_path;
    ASSERT_EQ(run(pipeline, 0, "callers.tmp"), nullptr);
    EXPECT_EQ(fake().reads[0].name, made);
    EXPECT_STREQ(pipeline->next_input_path, "callers.tmp");
    EXPECT_EQ(pipeline->next_input_path_owned, 0);
    EXPECT_EQ(pipeline->temp_file_count, 0);
    release_and_check(pipeline);
    EXPECT_EQ(kit::read_file(made), "") << "kept on disk";
    EXPECT_EQ(take_scratch_entries(), (std::set<std::string>{made.substr(scratch_.size() + 1)}));
}

TEST_F(PexStageTest, ClosingPendingInputStreamFails) {
    Pipeline *pipeline = make(0);
    int close_errno = 0;
    std::FILE *full = open_failing_stream(&close_errno);
    ASSERT_NE(full, nullptr);
    std::fputc('x', full); // the flush at close fails
    pipeline->input_stream = full;
    EXPECT_STREQ(run(pipeline, PEX_FINAL_STAGE), "closing pipeline input file");
    EXPECT_EQ(error_number_, close_errno);
    EXPECT_EQ(pipeline->input_stream, nullptr);
    EXPECT_TRUE(fake().spawns.empty());
    release_and_check(pipeline);
}

// A final suffix without a base is refused like every other failed final
// stage: the pending input stream closed, the pipeline complete, its input
// descriptor closed once.
TEST_F(PexStageTest, FinalSuffixWithoutBaseCompletesThePipeline) {
    Pipeline *pipeline = make(PEX_INIT_PIPES);
    ASSERT_EQ(run(pipeline, 0), nullptr);
    pipeline->input_stream = std::fopen(null_device, "r");
    ASSERT_NE(pipeline->input_stream, nullptr);
    EXPECT_STREQ(run(pipeline, PEX_FINAL_STAGE | PEX_NAME_IS_SUFFIX, ".o"),
                 "PEX_NAME_IS_SUFFIX on the final stage needs a temporary base");
    EXPECT_EQ(error_number_, EINVAL);
    EXPECT_EQ(pipeline->input_stream, nullptr);
    EXPECT_TRUE(fake().writes.empty());
    EXPECT_EQ(fake().closes, (std::vector<int>{100})) << "the first pipe's read end";
    EXPECT_EQ(pipeline->next_input_fd, -1);
    EXPECT_STREQ(run(pipeline, PEX_FINAL_STAGE), "pipeline already complete");
    EXPECT_EQ(fake().spawns.size(), 1u);
    release_and_check(pipeline);
}

// A start that fails: the pipeline, the stage started before it (flags, or
// -1 for none), the fault injected then, the failing start, its message and
// number, and what the failure leaves behind.
struct FailureRow {
    const char *name;
    unsigned pipeline_flags;
    const char *temp_base; // a relative name lies in the scratch directory
    int earlier_stage;
    FakeFaults faults;
    unsigned flags;
    const char *outname;
    const char *errname;
    const char *message;
    int error_number;
    void (*after)(Pipeline *);
};

const std::vector<int> first_read_end = {100};
const std::vector<int> first_write_end = {101};

// clang-format off
const FailureRow failure_rows[] = {
    {"WaitBeforeReadingFile", 0, "w", 0, {.wait_fail_pids = {1000}, .wait_errno = ECHILD},
     PEX_FINAL_STAGE, nullptr, nullptr, "wait", ECHILD, [](Pipeline *pipeline) {
         EXPECT_NE(pipeline->next_input_path, nullptr) << "the file stays the next input";
         EXPECT_TRUE(fake().reads.empty());
         EXPECT_EQ(pipeline->waited_count, 1) << "waited stages are never waited again";
         int status = -1;
         EXPECT_EQ(pex_get_status(pipeline, 1, &status), 1);
         EXPECT_EQ(fake().waits.size(), 1u);
     }},
    {"OpeningTemporaryInput", 0, "r", 0, {.open_read_errno = EACCES},
     PEX_FINAL_STAGE, nullptr, nullptr, "open temporary file", EACCES, [](Pipeline *pipeline) {
         EXPECT_EQ(pipeline->stage_count, 1);
         EXPECT_NE(pipeline->next_input_fd, -1) << "nothing was started, nothing completed";
     }},
    // The input descriptor is closed by the failed start and forgotten by the
    // pipeline, so release does not close it again.
    {"OutputPipe", PEX_INIT_PIPES, nullptr, 0,
     {.make_pipe_fail_call = 2, .make_pipe_errno = EMFILE}, 0, nullptr, nullptr, "pipe", EMFILE,
     [](Pipeline *pipeline) {
         EXPECT_EQ(fake().closes, first_read_end);
         EXPECT_EQ(pipeline->next_input_fd, -1);
         EXPECT_STREQ(run_tool(pipeline, PEX_FINAL_STAGE), "pipeline already complete");
         EXPECT_EQ(pipeline->stage_count, 1);
     }},
    {"ErrorPipe", PEX_INIT_PIPES, nullptr, -1,
     {.make_pipe_fail_call = 2, .make_pipe_errno = ENFILE}, PEX_STDERR_TO_PIPE | PEX_BINARY_ERR,
     nullptr, nullptr, "pipe", ENFILE, [](Pipeline *pipeline) {
         EXPECT_EQ(fake().pipe_modes, (std::vector<int>{0, 1}));
         EXPECT_EQ(fake().closes, first_write_end) << "the output pipe's write end";
         EXPECT_EQ(pipeline->next_input_fd, 100) << "field changes stay";
         EXPECT_EQ(pipeline->stderr_pipe_fd, -1);
     }},
    {"TemporaryName", 0, "/nonexistent-zin-dir/base", -1, {}, 0, nullptr, nullptr,
     "could not create temporary file", 0, [](Pipeline *) { EXPECT_TRUE(fake().writes.empty()); }},
    {"FinalOutputFile", 0, nullptr, -1, {.open_write_fail_name = "out", .open_write_errno = EACCES},
     PEX_FINAL_STAGE, "out", nullptr, "open temporary output file", EACCES,
     [](Pipeline *pipeline) {
         EXPECT_EQ(pipeline->next_input_fd, -1) << "a final stage completes even when it fails";
         EXPECT_TRUE(fake().spawns.empty());
     }},
    // A temporary output keeps its name recorded and listed.
    {"TemporaryOutputFile", 0, nullptr, -1,
     {.open_write_fail_name = "/nonexistent-zin-dir/mid", .open_write_errno = EROFS}, 0,
     "/nonexistent-zin-dir/mid", nullptr, "open temporary output file", EROFS,
     [](Pipeline *pipeline) {
         EXPECT_STREQ(pipeline->next_input_path, "/nonexistent-zin-dir/mid");
         EXPECT_EQ(pipeline->temp_file_count, 1);
     }},
    {"ErrorNameWithStderrPipe", PEX_INIT_PIPES, nullptr, -1, {},
     PEX_FINAL_STAGE | PEX_STDERR_TO_PIPE, "out", "err",
     "both ERRNAME and PEX_STDERR_TO_PIPE specified.", 0, [](Pipeline *) {
         ASSERT_EQ(fake().writes.size(), 1u) << "the output was opened first";
         EXPECT_EQ(fake().closes, (std::vector<int>{fake().writes[0].fd}));
         EXPECT_TRUE(fake().spawns.empty());
         EXPECT_TRUE(fake().pipe_modes.empty());
     }},
    // The failed final stage completes the pipeline: its input is closed.
    {"StderrPipeInTheMiddle", PEX_INIT_PIPES, nullptr, PEX_STDERR_TO_PIPE, {}, PEX_FINAL_STAGE,
     nullptr, nullptr, "PEX_STDERR_TO_PIPE used in the middle of pipeline", 0, [](Pipeline *) {
         EXPECT_EQ(fake().spawns[0].err_fd, 103);
         EXPECT_EQ(fake().closes, first_read_end);
     }},
    {"StderrPipeBeforeErrorFile", PEX_INIT_PIPES, nullptr, PEX_STDERR_TO_PIPE, {}, 0, nullptr,
     "err", "PEX_STDERR_TO_PIPE used in the middle of pipeline", 0, [](Pipeline *pipeline) {
         EXPECT_TRUE(fake().writes.empty()) << "checked before the error file is opened";
         EXPECT_NE(pex_error_stream(pipeline, 0), nullptr);
         EXPECT_EQ(pipeline->stderr_pipe_fd, -1);
         EXPECT_EQ(run_tool(pipeline, PEX_FINAL_STAGE, nullptr, "err"), nullptr);
     }},
    {"ErrorFile", PEX_INIT_PIPES, nullptr, -1,
     {.open_write_fail_name = "err", .open_write_errno = ENOSPC}, 0, nullptr, "err",
     "open error file", ENOSPC,
     [](Pipeline *) { EXPECT_EQ(fake().closes, first_write_end); }},
    // The back end takes over the descriptors even when it fails; the
    // pipeline must not close them again.
    {"Spawn", PEX_INIT_PIPES, "b.", 0, {.spawn_message = "execvp", .spawn_errno = ENOENT},
     PEX_FINAL_STAGE | PEX_NAME_IS_SUFFIX, "out", "err", "execvp", ENOENT, [](Pipeline *pipeline) {
         EXPECT_TRUE(fake().closes.empty());
         EXPECT_EQ(pipeline->stage_count, 1);
         EXPECT_EQ(pipeline->child_pids[0], 1000);
     }},
};
// clang-format on

// A row shows as its name in test names and messages.
void PrintTo(const FailureRow &row, std::ostream *out) {
    *out << row.name;
}

class PexStageFailureTest : public PexStageTest, public testing::WithParamInterface<FailureRow> {};

// The failure table: each message, its number, and what the failed start
// leaves behind, every descriptor closed exactly once.
TEST_P(PexStageFailureTest, ReportsAndClosesEachDescriptorOnce) {
    const FailureRow &row = GetParam();
    std::string base = row.temp_base == nullptr ? "" : row.temp_base;
    if (!base.empty() && base[0] != '/') {
        base = at(base);
    }
    Pipeline *pipeline = make(row.pipeline_flags, base.empty() ? nullptr : base.c_str());
    if (row.earlier_stage >= 0) {
        EXPECT_EQ(run_tool(pipeline, static_cast<unsigned>(row.earlier_stage)), nullptr);
    }
    fake().faults = row.faults;
    EXPECT_STREQ(run(pipeline, row.flags, row.outname, row.errname), row.message);
    EXPECT_EQ(error_number_, row.error_number);
    row.after(pipeline);
    release_and_check(pipeline);
}

INSTANTIATE_TEST_SUITE_P(FailureTable, PexStageFailureTest, testing::ValuesIn(failure_rows));

TEST_F(PexStageTest, CollectStatusesWaitsInOrderOnce) {
    Pipeline *pipeline = make(PEX_INIT_PIPES | PEX_INIT_TIMES);
    const char *message = nullptr;
    int error_number = 0;
    EXPECT_EQ(pex_collect_statuses(pipeline, 0, &message, &error_number), 1);
    EXPECT_EQ(pipeline->statuses, nullptr) << "nothing to wait for, nothing allocated";
    ASSERT_EQ(run(pipeline, 0), nullptr);
    ASSERT_EQ(run(pipeline, 0), nullptr);
    ASSERT_EQ(run(pipeline, PEX_FINAL_STAGE), nullptr);
    fake().faults.wait_fail_pids = {1000, 1001};
    fake().faults.wait_errno = EINTR;
    EXPECT_EQ(pex_collect_statuses(pipeline, 0, &message, &error_number), 0);
    EXPECT_STREQ(message, "wait");
    EXPECT_EQ(error_number, EINTR);
    ASSERT_EQ(fake().waits.size(), 3u) << "a failure does not stop the loop";
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(fake().waits[i].pid, 1000 + i);
        EXPECT_TRUE(fake().waits[i].with_times);
    }
    EXPECT_EQ(pipeline->waited_count, 3);
    EXPECT_EQ(pipeline->statuses[2], fake_status_of(1002));
    EXPECT_EQ(pipeline->times[2].user_sec, 1002);
    EXPECT_EQ(pex_collect_statuses(pipeline, 0, &message, &error_number), 1);
    EXPECT_EQ(fake().waits.size(), 3u);
    release_and_check(pipeline);
    EXPECT_EQ(fake().waits.size(), 3u) << "collected pipelines are not waited again";
}

} // namespace
