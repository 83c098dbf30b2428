// SPDX-License-Identifier: Apache-2.0
// Reading statuses and times, and releasing pipelines, against the recording
// back end.
#include <cerrno>
#include <vector>

#include "pex/hygiene.h"
#include "testkit/files.h"

namespace {

class PexResultsTest : public FakePipelineTest {
  protected:
    // Starts `stages` stages, the last one final.
    void start(Pipeline *pipeline, int stages) {
        for (int i = 0; i < stages; ++i) {
            ASSERT_EQ(run(pipeline, i + 1 == stages ? PEX_FINAL_STAGE : 0), nullptr);
        }
    }
};

TEST_F(PexResultsTest, StatusesAreCopiedAndZeroFilled) {
    Pipeline *pipeline = make(PEX_INIT_PIPES);
    start(pipeline, 2);
    std::vector<int> statuses(4, -1);
    ASSERT_EQ(pex_get_status(pipeline, 4, statuses.data()), 1);
    EXPECT_EQ(statuses, (std::vector<int>{fake_status_of(1000), fake_status_of(1001), 0, 0}));
    ASSERT_EQ(fake().waits.size(), 2u);
    EXPECT_EQ(fake().waits[0].terminate_first, 0);
    EXPECT_FALSE(fake().waits[0].with_times);

    std::vector<int> one(2, -1);
    ASSERT_EQ(pex_get_status(pipeline, 1, one.data()), 1);
    EXPECT_EQ(one, (std::vector<int>{fake_status_of(1000), -1})) << "only count entries";
    EXPECT_EQ(fake().waits.size(), 2u) << "collected once";
    pex_release(pipeline);
    EXPECT_EQ(fake().waits.size(), 2u) << "release waits for no collected stage";
}

TEST_F(PexResultsTest, NoStagesGivesZeroes) {
    Pipeline *pipeline = make(PEX_INIT_TIMES);
    std::vector<int> statuses(3, -1);
    EXPECT_EQ(pex_get_status(pipeline, 3, statuses.data()), 1);
    EXPECT_EQ(statuses, (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(pex_get_status(pipeline, 0, nullptr), 1);
    PexStageTimes times[1] = {{9, 9, 9, 9}};
    EXPECT_EQ(pex_get_stage_times(pipeline, 1, times), 0) << "no times were recorded";
    EXPECT_EQ(times[0].user_sec, 9);
    pex_release(pipeline);
    EXPECT_TRUE(fake().waits.empty());
}

TEST_F(PexResultsTest, CollectionFailureIsReported) {
    Pipeline *pipeline = make(PEX_INIT_PIPES);
    start(pipeline, 2);
    fake().faults.wait_fail_pids = {1001};
    fake().faults.wait_errno = ECHILD;
    int statuses[2] = {-1, -1};
    EXPECT_EQ(pex_get_status(pipeline, 2, statuses), 0);
    EXPECT_EQ(statuses[0], -1) << "untouched on failure";
    pex_release(pipeline);
    EXPECT_EQ(fake().waits.size(), 2u);
}

TEST_F(PexResultsTest, StageTimes) {
    Pipeline *untimed = make(PEX_INIT_PIPES);
    start(untimed, 1);
    PexStageTimes times[3] = {{9, 9, 9, 9}, {9, 9, 9, 9}, {9, 9, 9, 9}};
    EXPECT_EQ(pex_get_stage_times(untimed, 1, times), 0);
    EXPECT_EQ(times[0].user_sec, 9);
    EXPECT_EQ(untimed->waited_count, 1) << "the statuses were still collected";
    pex_release(untimed);

    fake_reset();
    Pipeline *timed = make(PEX_INIT_PIPES | PEX_INIT_TIMES);
    start(timed, 2);
    ASSERT_EQ(pex_get_stage_times(timed, 3, times), 1);
    PexStageTimes expected = fake_times_of(1001);
    EXPECT_EQ(times[0].user_sec, 1000);
    EXPECT_EQ(times[1].user_sec, expected.user_sec);
    EXPECT_EQ(times[1].user_usec, expected.user_usec);
    EXPECT_EQ(times[1].system_sec, expected.system_sec);
    EXPECT_EQ(times[1].system_usec, expected.system_usec);
    EXPECT_EQ(times[2].user_sec, 0);
    EXPECT_EQ(times[2].system_usec, 0);
    pex_release(timed);
}

// In temporary-file mode the later stages are started after an earlier
// collection; the readers bring the arrays up to date instead of reading
// past what was collected.
TEST_F(PexResultsTest, ReadersCollectStagesStartedSinceLastCollection) {
    std::string base = at("s");
    Pipeline *pipeline = make(PEX_INIT_TIMES, base.c_str());
    start(pipeline, 3);
    EXPECT_EQ(pipeline->waited_count, 2);
    PexStageTimes times[3] = {};
    ASSERT_EQ(pex_get_stage_times(pipeline, 3, times), 1);
    EXPECT_EQ(times[2].user_sec, 1002);
    EXPECT_EQ(pipeline->waited_count, 3);
    int statuses[3] = {};
    ASSERT_EQ(pex_get_status(pipeline, 3, statuses), 1);
    EXPECT_EQ(statuses[2], fake_status_of(1002));
    EXPECT_EQ(fake().waits.size(), 3u);
    pex_release(pipeline);
    EXPECT_EQ(fake().waits.size(), 3u);
}

TEST_F(PexResultsTest, ReleaseEndsUncollectedStages) {
    Pipeline *pipeline = make(PEX_INIT_PIPES | PEX_INIT_TIMES);
    start(pipeline, 3);
    pex_release(pipeline);
    ASSERT_EQ(fake().waits.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(fake().waits[i].pid, 1000 + i);
        EXPECT_EQ(fake().waits[i].terminate_first, 1);
        EXPECT_FALSE(fake().waits[i].with_times) << "times are not kept at release";
    }
    EXPECT_EQ(fake().release_calls, 1);
}

TEST_F(PexResultsTest, ReleaseReapsStagesStartedAfterCollection) {
    std::string base = at("r");
    Pipeline *pipeline = make(PEX_INIT_TIMES, base.c_str());
    start(pipeline, 3);
    pex_release(pipeline);
    ASSERT_EQ(fake().waits.size(), 3u);
    EXPECT_EQ(fake().waits[0].terminate_first, 0);
    EXPECT_EQ(fake().waits[1].terminate_first, 0);
    EXPECT_EQ(fake().waits[2].pid, 1002);
    EXPECT_EQ(fake().waits[2].terminate_first, 1);
    EXPECT_FALSE(fake().waits[2].with_times);
    EXPECT_TRUE(kit::entries(scratch_).empty()) << "temporary files removed";
}

TEST_F(PexResultsTest, ReleaseClosesWhatIsHeld) {
    Pipeline *pipeline = make(PEX_INIT_PIPES, nullptr, &fake_backend_without_release);
    ASSERT_EQ(run(pipeline, PEX_STDERR_TO_PIPE), nullptr);
    EXPECT_EQ(pipeline->next_input_fd, 100);
    EXPECT_EQ(pipeline->stderr_pipe_fd, 102);
    pex_release(pipeline);
    EXPECT_EQ(fake().closes, (std::vector<int>{100, 102}));
    EXPECT_TRUE(fake().open_fds.empty());
    EXPECT_TRUE(fake().bad_closes.empty());
    EXPECT_EQ(fake().release_calls, 0);
}

} // namespace
