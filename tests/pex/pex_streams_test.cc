// SPDX-License-Identifier: Apache-2.0
// The pipeline's stream operations, against the recording back end.
#include <cerrno>

#include "pex/hygiene.h"
#include "testkit/files.h"

namespace {

using PexStreamsTest = FakePipelineTest;

// A file the pipeline created for the input is removed at release; it has a
// name nobody else knows.
TEST_F(PexStreamsTest, InputFileMadeByThePipeline) {
    Pipeline *pipeline = make(0);
    std::FILE *input = pex_open_input_file(pipeline, 0, nullptr);
    ASSERT_NE(input, nullptr);
    std::string name = pipeline->next_input_path;
    EXPECT_EQ(name.rfind(at("cc"), 0), 0u);
    EXPECT_EQ(pipeline->input_stream, input);
    std::fputs("data", input);

    EXPECT_EQ(failure_errno([&] { return pex_open_input_file(pipeline, 0, nullptr); }), EINVAL);
    EXPECT_EQ(failure_errno([&] { return pex_open_input_pipe(pipeline, 0); }), EINVAL);

    ASSERT_EQ(run(pipeline, PEX_FINAL_STAGE), nullptr);
    EXPECT_EQ(pipeline->input_stream, nullptr) << "closed by the start";
    EXPECT_EQ(kit::read_file(name), "data");
    ASSERT_EQ(fake().reads.size(), 1u);
    EXPECT_EQ(fake().reads[0].name, name);
    EXPECT_EQ(fake().spawns[0].in_fd, fake().reads[0].fd);
    release_and_check(pipeline);
    EXPECT_TRUE(kit::entries(scratch_).empty());

    fake_reset();
    pipeline = make(PEX_INIT_KEEP_TEMPS);
    input = pex_open_input_file(pipeline, PEX_NAME_IS_SUFFIX | PEX_BINARY_OUT, ".in");
    ASSERT_NE(input, nullptr);
    name = pipeline->next_input_path;
    EXPECT_EQ(name.substr(name.size() - 3), ".in");
    EXPECT_EQ(pipeline->next_input_path_owned, 1);
    release_and_check(pipeline);
    EXPECT_EQ(kit::read_file(name), "") << "kept, and its stream closed by release";
    std::remove(name.c_str());
}

TEST_F(PexStreamsTest, InputFileNamedByTheCaller) {
    std::string name = at("input.txt");
    kit::write_file(name, "old content");
    Pipeline *pipeline = make(0);
    std::FILE *input = pex_open_input_file(pipeline, 0, name.c_str());
    ASSERT_NE(input, nullptr);
    EXPECT_EQ(pipeline->next_input_path, name.c_str()) << "the caller's string";
    EXPECT_EQ(pipeline->next_input_path_owned, 0);
    EXPECT_EQ(kit::read_file(name), "") << "truncated";
    release_and_check(pipeline);
    EXPECT_EQ(kit::read_file(name), "") << "a caller's input file stays";
    std::remove(name.c_str());
}

TEST_F(PexStreamsTest, InputFileRefusals) {
    Pipeline *pipeline = make(0);
    EXPECT_EQ(
        failure_errno([&] { return pex_open_input_file(pipeline, 0, "/nonexistent-zin-dir/in"); }),
        ENOENT);
    EXPECT_EQ(pipeline->next_input_path, nullptr);
    EXPECT_EQ(pipeline->input_stream, nullptr);
    ASSERT_EQ(run(pipeline, 0, at("mid").c_str()), nullptr);
    EXPECT_EQ(failure_errno([&] { return pex_open_input_file(pipeline, 0, at("late").c_str()); }),
              EINVAL);
    release_and_check(pipeline);
}

TEST_F(PexStreamsTest, InputPipe) {
    Pipeline *unpiped = make(0);
    EXPECT_EQ(failure_errno([&] { return pex_open_input_pipe(unpiped, 0); }), EINVAL);
    EXPECT_TRUE(fake().pipe_modes.empty());
    release_and_check(unpiped);

    Pipeline *pipeline = make(PEX_INIT_PIPES);
    std::FILE *input = pex_open_input_pipe(pipeline, 5);
    ASSERT_NE(input, nullptr);
    EXPECT_EQ(fake().pipe_modes, (std::vector<int>{1}));
    EXPECT_EQ(pipeline->next_input_fd, 100);
    EXPECT_EQ(failure_errno([&] { return pex_open_input_pipe(pipeline, 0); }), EINVAL);
    EXPECT_EQ(pex_open_input_file(pipeline, 0, at("x").c_str()), nullptr);
    ASSERT_EQ(run(pipeline, PEX_FINAL_STAGE), nullptr);
    EXPECT_EQ(fake().spawns[0].in_fd, 100);
    std::fclose(input); // the caller's
    release_and_check(pipeline);
}

TEST_F(PexStreamsTest, InputPipeStreamFailureClosesBothEnds) {
    Pipeline *pipeline = make(PEX_INIT_PIPES);
    fake().faults.write_stream_errno = EMFILE;
    EXPECT_EQ(failure_errno([&] { return pex_open_input_pipe(pipeline, 0); }), EMFILE);
    EXPECT_EQ(fake().closes, (std::vector<int>{100, 101}));
    EXPECT_EQ(pipeline->next_input_fd, 0);
    release_and_check(pipeline);

    fake_reset();
    pipeline = make(PEX_INIT_PIPES);
    fake().faults.make_pipe_fail_call = 1;
    fake().faults.make_pipe_errno = ENFILE;
    EXPECT_EQ(failure_errno([&] { return pex_open_input_pipe(pipeline, 0); }), ENFILE);
    release_and_check(pipeline);
}

TEST_F(PexStreamsTest, OutputStreamFromTemporaryFile) {
    std::string base = at("o");
    Pipeline *pipeline = make(0, base.c_str());
    EXPECT_EQ(pex_output_stream(pipeline, 0), nullptr) << "nothing started";
    ASSERT_EQ(run(pipeline, 0), nullptr);
    ASSERT_EQ(run(pipeline, 0), nullptr);
    std::string last = pipeline->next_input_path;
    kit::write_file(last, "result");
    std::FILE *output = pex_output_stream(pipeline, 1);
    ASSERT_NE(output, nullptr);
    EXPECT_EQ(fake().waits.size(), 2u) << "every stage waited for first";
    EXPECT_EQ(kit::read_stream(output), "result");
    EXPECT_EQ(pipeline->next_input_path, nullptr);
    EXPECT_EQ(pipeline->output_stream, output);
    EXPECT_EQ(failure_errno([&] { return pex_output_stream(pipeline, 0); }), 0) << "untouched";
    release_and_check(pipeline);
    EXPECT_TRUE(kit::entries(scratch_).empty());
}

TEST_F(PexStreamsTest, OutputStreamCollectionFailure) {
    std::string base = at("c");
    Pipeline *pipeline = make(0, base.c_str());
    ASSERT_EQ(run(pipeline, 0), nullptr);
    fake().faults.wait_fail_pids = {1000};
    fake().faults.wait_errno = ECHILD;
    EXPECT_EQ(failure_errno([&] { return pex_output_stream(pipeline, 0); }), ECHILD);
    EXPECT_NE(pipeline->next_input_path, nullptr) << "the name stays recorded";
    release_and_check(pipeline);
}

TEST_F(PexStreamsTest, OutputStreamOfMissingFileForgetsName) {
    std::string base = at("m");
    Pipeline *pipeline = make(PEX_INIT_KEEP_TEMPS, base.c_str());
    ASSERT_EQ(run(pipeline, 0), nullptr);
    std::string name = pipeline->next_input_path;
    std::remove(name.c_str());
    EXPECT_EQ(failure_errno([&] { return pex_output_stream(pipeline, 0); }), ENOENT);
    EXPECT_EQ(pipeline->next_input_path, nullptr);
    EXPECT_EQ(pipeline->next_input_path_owned, 0);
    release_and_check(pipeline);
}

TEST_F(PexStreamsTest, OutputStreamFromPipe) {
    Pipeline *pipeline = make(PEX_INIT_PIPES);
    ASSERT_EQ(run(pipeline, 0), nullptr);
    std::FILE *output = pex_output_stream(pipeline, 0);
    ASSERT_NE(output, nullptr);
    EXPECT_EQ(pipeline->next_input_fd, -1);
    EXPECT_EQ(pex_output_stream(pipeline, 0), nullptr);
    EXPECT_STREQ(run(pipeline, PEX_FINAL_STAGE), "pipeline already complete");
    release_and_check(pipeline);

    fake_reset();
    pipeline = make(PEX_INIT_PIPES);
    ASSERT_EQ(run(pipeline, PEX_FINAL_STAGE), nullptr);
    EXPECT_EQ(pex_output_stream(pipeline, 0), nullptr) << "a final stage's output is its own";
    release_and_check(pipeline);
}

// A descriptor the pipeline gave up but could not wrap is closed, not lost.
TEST_F(PexStreamsTest, UnwrappableDescriptorsAreClosed) {
    Pipeline *pipeline = make(PEX_INIT_PIPES);
    ASSERT_EQ(run(pipeline, PEX_STDERR_TO_PIPE), nullptr);
    fake().faults.read_stream_errno = ENOMEM;
    EXPECT_EQ(failure_errno([&] { return pex_output_stream(pipeline, 0); }), ENOMEM);
    EXPECT_EQ(pipeline->next_input_fd, -1);
    EXPECT_EQ(failure_errno([&] { return pex_error_stream(pipeline, 0); }), ENOMEM);
    EXPECT_EQ(pipeline->stderr_pipe_fd, -1);
    EXPECT_EQ(fake().closes, (std::vector<int>{100, 102}));
    release_and_check(pipeline);
}

TEST_F(PexStreamsTest, ErrorStream) {
    Pipeline *pipeline = make(PEX_INIT_PIPES);
    EXPECT_EQ(pex_error_stream(pipeline, 0), nullptr);
    ASSERT_EQ(run(pipeline, 0), nullptr);
    EXPECT_EQ(pex_error_stream(pipeline, 0), nullptr) << "no stage piped its errors";
    ASSERT_EQ(run(pipeline, PEX_FINAL_STAGE | PEX_STDERR_TO_PIPE), nullptr);
    std::FILE *errors = pex_error_stream(pipeline, 1);
    ASSERT_NE(errors, nullptr);
    EXPECT_EQ(pipeline->error_stream, errors);
    EXPECT_EQ(pex_error_stream(pipeline, 1), nullptr);
    release_and_check(pipeline);
}

} // namespace
