// Starting stages, naming temporary files and collecting statuses, against the
// recording back end.
#include "pex/fake_backend.h"
#include "pex/hygiene.h"
#include "pex/pex.h"

#include <cerrno>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char *const no_args[] = {"prog", nullptr};

class PexStageTest : public HygieneTest {
  protected:
    void SetUp() override {
        HygieneTest::SetUp();
        fake_reset();
    }

    // Releases the pipeline and checks that every descriptor the back end
    // handed out was closed or consumed exactly once.
    void release_and_check(Pipeline *pipeline) {
        pex_release(pipeline);
        EXPECT_TRUE(fake().bad_closes.empty())
            << "closed twice: " << testing::PrintToString(fake().bad_closes);
        EXPECT_TRUE(fake().open_fds.empty())
            << "never closed: " << testing::PrintToString(fake().open_fds);
    }

    Pipeline *make(unsigned flags, const char *temp_base = nullptr) {
        return pex_create_with_backend(flags, "zin-test", temp_base, &fake_backend);
    }

    const char *run(Pipeline *pipeline, unsigned flags, const char *outname = nullptr,
                    const char *errname = nullptr) {
        error_number_ = -7;
        return pex_run_stage(pipeline, flags, "tool", no_args, outname, errname, &error_number_);
    }

    int error_number_ = -7;
};

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
    // Pipe one is 100 (read) / 101 (write), pipe two 102 / 103.
    EXPECT_EQ(fake().pipe_modes, (std::vector<int>{1, 0}));
    EXPECT_EQ(spawns[0].in_fd, 0);
    EXPECT_EQ(spawns[0].out_fd, 101);
    EXPECT_EQ(spawns[0].child_close_fd, 100);
    EXPECT_EQ(spawns[1].in_fd, 100);
    EXPECT_EQ(spawns[1].out_fd, 103);
    EXPECT_EQ(spawns[1].child_close_fd, 102);
    EXPECT_EQ(spawns[2].in_fd, 102);
    EXPECT_EQ(spawns[2].out_fd, 1);
    EXPECT_EQ(spawns[2].child_close_fd, -1);
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

// Without a base the suffix names a new temporary file, removed at release
// unless temporaries are kept.
TEST_F(PexStageTest, FinalSuffixWithoutBaseGetsTemporaryFile) {
    Pipeline *pipeline = make(0);
    ASSERT_EQ(run(pipeline, PEX_FINAL_STAGE | PEX_NAME_IS_SUFFIX, ".o"), nullptr);
    ASSERT_EQ(fake().writes.size(), 1u);
    std::string name = fake().writes[0].name;
    EXPECT_EQ(name.rfind(scratch_directory() + "/cc", 0), 0u) << name;
    EXPECT_EQ(name.substr(name.size() - 2), ".o");
    ASSERT_EQ(pipeline->temp_file_count, 1);
    EXPECT_EQ(name, pipeline->temp_files[0]);
    EXPECT_EQ(scratch_entries().size(), 1u);
    release_and_check(pipeline);
    EXPECT_TRUE(scratch_entries().empty());

    fake_reset();
    pipeline = make(PEX_INIT_KEEP_TEMPS);
    ASSERT_EQ(run(pipeline, PEX_FINAL_STAGE | PEX_NAME_IS_SUFFIX, ".o"), nullptr);
    EXPECT_EQ(pipeline->temp_file_count, 0);
    release_and_check(pipeline);
    std::set<std::string> kept = scratch_entries();
    ASSERT_EQ(kept.size(), 1u);
    remove_scratch_entry(*kept.begin());
}

TEST_F(PexStageTest, TemporaryFilesAreListedForRemoval) {
    std::string base = scratch("t");
    Pipeline *pipeline = make(0, base.c_str());
    std::string callers = scratch("named.tmp");
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
    EXPECT_EQ(scratch_entries().size(), 1u) << "the made file exists until release";
    release_and_check(pipeline);
    EXPECT_TRUE(scratch_entries().empty());
}

TEST_F(PexStageTest, KeptTemporariesAreFreedNotListed) {
    std::string base = scratch("k");
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
    EXPECT_EQ(read_file(made), "") << "kept on disk";
    remove_scratch_entry(made.substr(scratch_directory().size() + 1));
}

// The failure table: each message, its number, and what the failed start
// leaves behind.
TEST_F(PexStageTest, ClosingPendingInputStreamFails) {
    Pipeline *pipeline = make(0);
    std::FILE *full = std::fopen("/dev/full", "w");
    ASSERT_NE(full, nullptr);
    std::fputc('x', full); // the flush at close fails
    pipeline->input_stream = full;
    EXPECT_STREQ(run(pipeline, PEX_FINAL_STAGE), "closing pipeline input file");
    EXPECT_EQ(error_number_, ENOSPC);
    EXPECT_EQ(pipeline->input_stream, nullptr);
    EXPECT_TRUE(fake().spawns.empty());
    release_and_check(pipeline);
}

TEST_F(PexStageTest, WaitFailureBeforeReadingFile) {
    std::string base = scratch("w");
    Pipeline *pipeline = make(0, base.c_str());
    ASSERT_EQ(run(pipeline, 0), nullptr);
    fake().wait_fail_pids = {1000};
    fake().wait_errno = ECHILD;
    EXPECT_STREQ(run(pipeline, PEX_FINAL_STAGE), "wait");
    EXPECT_EQ(error_number_, ECHILD);
    EXPECT_NE(pipeline->next_input_path, nullptr) << "the file stays the next input";
    EXPECT_TRUE(fake().reads.empty());
    EXPECT_EQ(pipeline->waited_count, 1) << "waited stages are never waited again";
    int status = -1;
    EXPECT_EQ(pex_get_status(pipeline, 1, &status), 1);
    EXPECT_EQ(fake().waits.size(), 1u);
    release_and_check(pipeline);
}

TEST_F(PexStageTest, OpeningTemporaryInputFails) {
    std::string base = scratch("r");
    Pipeline *pipeline = make(0, base.c_str());
    ASSERT_EQ(run(pipeline, 0), nullptr);
    fake().open_read_errno = EACCES;
    EXPECT_STREQ(run(pipeline, PEX_FINAL_STAGE), "open temporary file");
    EXPECT_EQ(error_number_, EACCES);
    EXPECT_EQ(pipeline->stage_count, 1);
    EXPECT_NE(pipeline->next_input_fd, -1) << "nothing was started, nothing completed";
    release_and_check(pipeline);
}

// The input descriptor named in next_input_fd is closed by the failed start
// and forgotten by the pipeline, so release does not close it again.
TEST_F(PexStageTest, OutputPipeFailureClosesInputOnce) {
    Pipeline *pipeline = make(PEX_INIT_PIPES);
    ASSERT_EQ(run(pipeline, 0), nullptr);
    int read_end = pipeline->next_input_fd;
    fake().make_pipe_fail_call = 2;
    fake().make_pipe_errno = EMFILE;
    EXPECT_STREQ(run(pipeline, 0), "pipe");
    EXPECT_EQ(error_number_, EMFILE);
    EXPECT_EQ(fake().closes, (std::vector<int>{read_end}));
    EXPECT_EQ(pipeline->next_input_fd, -1);
    EXPECT_STREQ(run(pipeline, PEX_FINAL_STAGE), "pipeline already complete");
    EXPECT_EQ(pipeline->stage_count, 1);
    release_and_check(pipeline);
    EXPECT_EQ(fake().closes, (std::vector<int>{read_end}));
}

TEST_F(PexStageTest, ErrorPipeFailureClosesOutput) {
    Pipeline *pipeline = make(PEX_INIT_PIPES);
    fake().make_pipe_fail_call = 2;
    fake().make_pipe_errno = ENFILE;
    EXPECT_STREQ(run(pipeline, PEX_STDERR_TO_PIPE | PEX_BINARY_ERR), "pipe");
    EXPECT_EQ(error_number_, ENFILE);
    EXPECT_EQ(fake().pipe_modes, (std::vector<int>{0, 1}));
    EXPECT_EQ(fake().closes, (std::vector<int>{101})) << "the output pipe's write end";
    EXPECT_EQ(pipeline->next_input_fd, 100) << "field changes stay";
    EXPECT_EQ(pipeline->stderr_pipe_fd, -1);
    release_and_check(pipeline);
}

TEST_F(PexStageTest, TemporaryNameCannotBeMade) {
    Pipeline *pipeline = make(0, "/nonexistent-zin-dir/base");
    EXPECT_STREQ(run(pipeline, 0), "could not create temporary file");
    EXPECT_EQ(error_number_, 0);
    EXPECT_TRUE(fake().writes.empty());
    release_and_check(pipeline);
}

TEST_F(PexStageTest, OutputFileCannotBeOpened) {
    Pipeline *pipeline = make(0);
    fake().open_write_fail_name = "out";
    fake().open_write_errno = EACCES;
    EXPECT_STREQ(run(pipeline, PEX_FINAL_STAGE, "out"), "open temporary output file");
    EXPECT_EQ(error_number_, EACCES);
    EXPECT_EQ(pipeline->next_input_fd, -1) << "a final stage completes even when it fails";
    EXPECT_TRUE(fake().spawns.empty());
    release_and_check(pipeline);

    // A temporary output keeps its name recorded and listed.
    fake_reset();
    pipeline = make(0);
    std::string mid = scratch("mid");
    fake().open_write_fail_name = mid;
    fake().open_write_errno = EROFS;
    EXPECT_STREQ(run(pipeline, 0, mid.c_str()), "open temporary output file");
    EXPECT_EQ(error_number_, EROFS);
    EXPECT_EQ(pipeline->next_input_path, mid);
    EXPECT_EQ(pipeline->temp_file_count, 1);
    release_and_check(pipeline);
}

TEST_F(PexStageTest, ErrorNameWithStderrPipe) {
    Pipeline *pipeline = make(PEX_INIT_PIPES);
    EXPECT_STREQ(run(pipeline, PEX_FINAL_STAGE | PEX_STDERR_TO_PIPE, "out", "err"),
                 "both ERRNAME and PEX_STDERR_TO_PIPE specified.");
    EXPECT_EQ(error_number_, 0);
    ASSERT_EQ(fake().writes.size(), 1u) << "the output was opened first";
    EXPECT_EQ(fake().closes, (std::vector<int>{fake().writes[0].fd}));
    EXPECT_TRUE(fake().spawns.empty());
    EXPECT_TRUE(fake().pipe_modes.empty());
    release_and_check(pipeline);
}

TEST_F(PexStageTest, StderrPipeInTheMiddle) {
    Pipeline *pipeline = make(PEX_INIT_PIPES);
    ASSERT_EQ(run(pipeline, PEX_STDERR_TO_PIPE), nullptr);
    EXPECT_EQ(pipeline->stderr_pipe_fd, 102);
    EXPECT_EQ(fake().spawns[0].err_fd, 103);
    EXPECT_STREQ(run(pipeline, PEX_FINAL_STAGE),
                 "PEX_STDERR_TO_PIPE used in the middle of pipeline");
    EXPECT_EQ(error_number_, 0);
    // The failed final stage completed the pipeline; its input was closed.
    EXPECT_EQ(fake().closes, (std::vector<int>{100}));
    release_and_check(pipeline);

    fake_reset();
    pipeline = make(PEX_INIT_PIPES);
    ASSERT_EQ(run(pipeline, PEX_STDERR_TO_PIPE), nullptr);
    EXPECT_STREQ(run(pipeline, 0, nullptr, "err"),
                 "PEX_STDERR_TO_PIPE used in the middle of pipeline");
    EXPECT_TRUE(fake().writes.empty()) << "checked before the error file is opened";
    std::FILE *errors = pex_error_stream(pipeline, 0);
    ASSERT_NE(errors, nullptr);
    EXPECT_EQ(pipeline->stderr_pipe_fd, -1);
    EXPECT_EQ(run(pipeline, PEX_FINAL_STAGE, nullptr, "err"), nullptr);
    release_and_check(pipeline);
}

TEST_F(PexStageTest, StderrPipeOnFinalStage) {
    Pipeline *pipeline = make(0);
    ASSERT_EQ(run(pipeline, PEX_FINAL_STAGE | PEX_STDERR_TO_PIPE), nullptr);
    EXPECT_STREQ(run(pipeline, PEX_FINAL_STAGE), "pipeline already complete");
    release_and_check(pipeline);
    EXPECT_EQ(fake().closes, (std::vector<int>{100})) << "release closes the held read end";
}

TEST_F(PexStageTest, ErrorFileCannotBeOpened) {
    Pipeline *pipeline = make(PEX_INIT_PIPES);
    fake().open_write_fail_name = "err";
    fake().open_write_errno = ENOSPC;
    EXPECT_STREQ(run(pipeline, 0, nullptr, "err"), "open error file");
    EXPECT_EQ(error_number_, ENOSPC);
    EXPECT_EQ(fake().closes, (std::vector<int>{101}));
    release_and_check(pipeline);
}

// The back end takes over the descriptors even when it fails; the pipeline
// must not close them again.
TEST_F(PexStageTest, SpawnFailureClosesEachDescriptorOnce) {
    Pipeline *pipeline = make(PEX_INIT_PIPES, "b.");
    ASSERT_EQ(run(pipeline, 0), nullptr);
    fake().spawn_message = "execvp";
    fake().spawn_errno = ENOENT;
    EXPECT_STREQ(run(pipeline, PEX_FINAL_STAGE | PEX_NAME_IS_SUFFIX, "out", "err"), "execvp");
    EXPECT_EQ(error_number_, ENOENT);
    EXPECT_TRUE(fake().closes.empty());
    EXPECT_EQ(pipeline->stage_count, 1);
    EXPECT_EQ(pipeline->child_pids[0], 1000);
    release_and_check(pipeline);
}

TEST_F(PexStageTest, CollectStatusesWaitsInOrderOnce) {
    Pipeline *pipeline = make(PEX_INIT_PIPES | PEX_INIT_TIMES);
    const char *message = nullptr;
    int error_number = 0;
    EXPECT_EQ(pex_collect_statuses(pipeline, 0, &message, &error_number), 1);
    EXPECT_EQ(pipeline->statuses, nullptr) << "nothing to wait for, nothing allocated";
    ASSERT_EQ(run(pipeline, 0), nullptr);
    ASSERT_EQ(run(pipeline, 0), nullptr);
    ASSERT_EQ(run(pipeline, PEX_FINAL_STAGE), nullptr);
    fake().wait_fail_pids = {1000, 1001};
    fake().wait_errno = EINTR;
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

TEST_F(PexStageTest, TempNameCases) {
    Pipeline *plain = make(0);
    const char *name = "given";
    EXPECT_EQ(pex_temp_name(plain, 0, name), name);

    char *suffixed = pex_temp_name(plain, PEX_NAME_IS_SUFFIX, ".s");
    std::string made = suffixed;
    EXPECT_EQ(made.rfind(scratch_directory() + "/cc", 0), 0u) << made;
    EXPECT_EQ(made.size(), scratch_directory().size() + 1 + 2 + 6 + 2);
    EXPECT_EQ(made.substr(made.size() - 2), ".s");
    EXPECT_EQ(read_file(made), "");
    std::free(suffixed);

    char *bare = pex_temp_name(plain, 0, nullptr);
    EXPECT_EQ(std::string(bare).size(), scratch_directory().size() + 1 + 2 + 6);
    EXPECT_EQ(read_file(bare), "");
    std::free(bare);
    pex_release(plain);
    for (const std::string &entry : scratch_entries())
        remove_scratch_entry(entry);

    std::string base = scratch("base.");
    Pipeline *with_base = make(0, base.c_str());
    char *joined = pex_temp_name(with_base, PEX_NAME_IS_SUFFIX, "o");
    EXPECT_EQ(joined, base + "o");
    EXPECT_EQ(read_file(joined), "<missing>") << "joining makes no file";
    std::free(joined);
    char *from_base = pex_temp_name(with_base, 0, nullptr);
    EXPECT_EQ(std::string(from_base).rfind(base, 0), 0u);
    EXPECT_EQ(std::strlen(from_base), base.size() + 6);
    EXPECT_EQ(read_file(from_base), "");
    std::free(from_base);
    pex_release(with_base);
    for (const std::string &entry : scratch_entries())
        remove_scratch_entry(entry);
}

TEST_F(PexStageTest, TempNameTemplates) {
    // A base already ending in the placeholder is used as it is.
    std::string pattern = scratch("fileXXXXXX");
    Pipeline *pipeline = make(0, pattern.c_str());
    char *name = pex_temp_name(pipeline, 0, nullptr);
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(std::strlen(name), pattern.size());
    EXPECT_EQ(std::string(name).rfind(scratch("file"), 0), 0u);
    EXPECT_EQ(std::string(name).find("XXXXXX"), std::string::npos);
    struct stat info;
    EXPECT_EQ(stat(name, &info), 0);
    std::remove(name);
    std::free(name);
    pex_release(pipeline);

    // Shorter than the placeholder: always appended.
    char *previous_directory = getcwd(nullptr, 0);
    ASSERT_EQ(chdir(scratch_directory().c_str()), 0);
    pipeline = make(0, "XX");
    name = pex_temp_name(pipeline, 0, nullptr);
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(std::strlen(name), 8u);
    EXPECT_EQ(std::string(name).rfind("XX", 0), 0u);
    std::remove(name);
    std::free(name);
    pex_release(pipeline);
    ASSERT_EQ(chdir(previous_directory), 0);
    std::free(previous_directory);

    pipeline = make(0, "/nonexistent-zin-dir/x");
    EXPECT_EQ(pex_temp_name(pipeline, 0, nullptr), nullptr);
    pex_release(pipeline);
}

} // namespace
