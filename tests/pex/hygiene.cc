// SPDX-License-Identifier: Apache-2.0
// The fixtures of the pipeline tests.
#include "pex/hygiene.h"

#include "pex/hygiene_internal.h"
#include "support/temp_file.h"
#include "testkit/files.h"
#include "testkit/scratch.h"

namespace {

// The process's scratch directory, named by TMPDIR before any temporary file
// is created (the temporary directory is chosen once per process).
const std::string &scratch_directory() {
    static const bool named = name_temp_directory(kit::process_scratch_dir());
    (void)named;
    return kit::process_scratch_dir();
}

} // namespace

void HygieneTest::SetUp() {
    scratch_ = scratch_directory();
    ASSERT_EQ(std::string(temp_directory()), scratch_ + "/");
    ASSERT_TRUE(kit::entries(scratch_).empty());
    snapshot_ = kit::take_snapshot({scratch_});
    set_watchdog(30);
}

void HygieneTest::TearDown() {
    set_watchdog(0);
    EXPECT_EQ(kit::left_behind(snapshot_), "");
}

std::set<std::string> HygieneTest::take_scratch_entries() const {
    std::set<std::string> names = kit::entries(scratch_);
    for (const std::string &name : names) {
        kit::remove_tree(at(name));
    }
    return names;
}

const char *run_tool(Pipeline *pipeline, unsigned flags, const char *outname, const char *errname,
                     int *error_number) {
    static const char *const no_args[] = {"prog", nullptr};
    int ignored = 0;
    return pex_run_stage(pipeline, flags, "tool", no_args, outname, errname,
                         error_number != nullptr ? error_number : &ignored);
}

void FakePipelineTest::SetUp() {
    HygieneTest::SetUp();
    fake_reset();
}

Pipeline *FakePipelineTest::make(unsigned flags, const char *temp_base, const PexBackend *backend) {
    return pex_create_with_backend(flags, "zin-test", temp_base, backend);
}

const char *FakePipelineTest::run(Pipeline *pipeline, unsigned flags, const char *outname,
                                  const char *errname) {
    error_number_ = -7;
    return run_tool(pipeline, flags, outname, errname, &error_number_);
}

void FakePipelineTest::release_and_check(Pipeline *pipeline) {
    pex_release(pipeline);
    EXPECT_TRUE(fake().bad_closes.empty())
        << "closed twice: " << testing::PrintToString(fake().bad_closes);
    EXPECT_TRUE(fake().open_fds.empty())
        << "never closed: " << testing::PrintToString(fake().open_fds);
}
