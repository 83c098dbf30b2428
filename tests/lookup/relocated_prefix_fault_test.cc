// SPDX-License-Identifier: Apache-2.0
// Allocation failures in the path-name helpers and the relocation: every one
// ends in a null result, and nothing that was allocated stays behind.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <optional>

#include "fault/zin_fault.h"
#include "lookup/canonical_path.h"
#include "lookup/path_components.h"
#include "relocation_fixture.h"
#include "testkit/launch.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace {

#if defined(__GLIBC__) && __GLIBC_PREREQ(2, 33)
constexpr bool can_count_bytes = true;
#else
constexpr bool can_count_bytes = false;
#endif

// glibc's per-thread cache keeps freed blocks counted as allocated, which
// would both hide and fake leaks; byte counts are only trusted without it.
constexpr const char *cache_off = "glibc.malloc.tcache_count=0";

// Whether this process can tell leaks from its allocator's byte count.
bool leak_checks_active() {
    const char *tunables = std::getenv("GLIBC_TUNABLES");
    return can_count_bytes && tunables != nullptr && std::strstr(tunables, cache_off) != nullptr;
}

// Bytes the allocator has handed out and not yet had back; 0 where unknown.
std::size_t bytes_in_use() {
#if defined(__GLIBC__) && __GLIBC_PREREQ(2, 33)
    return mallinfo2().uordblks;
#else
    return 0;
#endif
}

// Where leaks can be counted but the cache is on, runs the current test again
// in a copy of this program with the cache off, expects it to pass and
// returns true; otherwise returns false and the test runs here.
bool ran_in_leak_checked_copy() {
    if (!can_count_bytes || leak_checks_active()) {
        return false;
    }
    const testing::TestInfo *info = testing::UnitTest::GetInstance()->current_test_info();
    kit::Outcome outcome = kit::run_program(
        {.executable = "/proc/self/exe",
         .argv = {"relocated_prefix_fault_test",
                  std::string("--gtest_filter=") + info->test_suite_name() + "." + info->name()},
         .env = {{"GLIBC_TUNABLES", cache_off}}});
    EXPECT_EQ(kit::exit_code(outcome.wait_status), 0) << outcome.out << outcome.err;
    return true;
}

// Fails the 1st, 2nd, ... malloc call of `run` in turn. While the failed call
// is one that `run` makes, the result must be null (or `expected`, when tolerated); once
// `run` makes fewer calls, it must be `expected` (nullopt: null). No attempt may leave
// memory allocated. Returns the number of malloc calls of an undisturbed run.
unsigned long walk_malloc_failures(const std::function<char *()> &run,
                                   const std::optional<std::string> &expected,
                                   bool tolerate_expected_on_failure = false) {
    for (unsigned long n = 1; n < 1000; ++n) {
        std::size_t before = bytes_in_use();
        zin_fault_arm("malloc", n, 1, ENOMEM);
        char *result = run();
        unsigned long calls = zin_fault_calls("malloc");
        zin_fault_disarm();
        bool is_null = result == nullptr;
        bool is_expected = expected ? result != nullptr && *expected == result : is_null;
        std::free(result);
        std::size_t after = bytes_in_use();

        if (leak_checks_active()) {
            EXPECT_EQ(before, after) << "leak with malloc call " << n << " failed";
        }
        if (calls < n) {
            EXPECT_TRUE(is_expected) << "undisturbed run";
            return calls;
        }
        if (tolerate_expected_on_failure) {
            EXPECT_TRUE(is_null || is_expected) << "malloc call " << n << " failed";
        } else {
            EXPECT_TRUE(is_null) << "malloc call " << n << " failed";
        }
    }
    ADD_FAILURE() << "no end of malloc calls";
    return 0;
}

TEST(AllocationFaults, StrdupAllocatesThroughTheInterposedMalloc) {
    zin_fault_arm("malloc", 1, 1, ENOMEM);
    char *copy = strdup("x");
    unsigned long calls = zin_fault_calls("malloc");
    zin_fault_disarm();
    EXPECT_EQ(copy, nullptr);
    EXPECT_EQ(calls, 1u);
    std::free(copy);
}

TEST(AllocationFaults, SplitPathComponents) {
    if (ran_in_leak_checked_copy()) {
        return;
    }
    const char *path = "/usr//local/bin/zin-ar";
    int count = -1;
    zin_fault_arm("malloc", 1, 0, 0);
    char **components = split_path_components(path, &count);
    unsigned long calls = zin_fault_calls("malloc");
    free_path_components(components);
    // The array and five strings, each failure leaving the count alone.
    EXPECT_EQ(calls, 6u);
    for (unsigned long n = 1; n <= calls; ++n) {
        std::size_t before = bytes_in_use();
        count = -1;
        zin_fault_arm("malloc", n, 1, ENOMEM);
        components = split_path_components(path, &count);
        zin_fault_disarm();
        bool failed = components == nullptr;
        free_path_components(components);
        std::size_t after = bytes_in_use();
        EXPECT_TRUE(failed) << n;
        EXPECT_EQ(count, -1) << n;
        if (leak_checks_active()) {
            EXPECT_EQ(before, after) << "leak with malloc call " << n << " failed";
        }
    }
}

TEST(AllocationFaults, CanonicalPath) {
    // realpath failing for any reason: an unchanged copy.
    zin_fault_arm("realpath", 1, 1, ENOMEM);
    char *copy = canonical_path("/tmp/../tmp");
    zin_fault_disarm();
    ASSERT_NE(copy, nullptr);
    EXPECT_STREQ(copy, "/tmp/../tmp");
    std::free(copy);

    // Without memory for the copy either: null.
    zin_fault_arm("malloc", 1, 1000, ENOMEM);
    char *none = canonical_path("/no/such/path");
    zin_fault_disarm();
    EXPECT_EQ(none, nullptr);
    std::free(none);
}

class RelocationFaults : public RelocatedPrefixTest {};

TEST_F(RelocationFaults, EveryAllocationOfAnAbsoluteProgramPath) {
    if (ran_in_leak_checked_copy()) {
        return;
    }
    // The path does not exist: realpath fails, and the copy is the path itself.
    auto run = [] { return relocated_prefix("/opt/tc/bin/zin-ar", bin_dir, lib_dir); };
    std::free(run());
    // The copy, P (array + 5), B (array + 4), T (array + 6) and the result.
    EXPECT_EQ(walk_malloc_failures(run, "/opt/tc/bin/../lib/zin13/zin/"), 20u);

    // Nothing to relocate: T and the result are never made.
    auto unmoved = [] { return relocate_directory("/usr/local/bin/zin-ar", bin_dir, lib_dir); };
    EXPECT_EQ(walk_malloc_failures(unmoved, std::nullopt), 11u);
}

TEST_F(RelocationFaults, EveryAllocationWithLinksResolvedOnPath) {
    if (ran_in_leak_checked_copy()) {
        return;
    }
    install_program("tc");
    setenv("PATH", at("tc").c_str(), 1);
    std::string expected = relocated_from("tc");
    auto run = [] { return relocated_prefix("zin-ar", bin_dir, lib_dir); };
    std::free(run());
    // A failure inside realpath falls back to the path as found, which is
    // already canonical here: that run may still give the right answer.
    walk_malloc_failures(run, expected, true);
}

TEST_F(RelocationFaults, CandidateBufferComesFromTheHeapOnlyFrom4032Bytes) {
    if (ran_in_leak_checked_copy()) {
        return;
    }
    install_program("tc");
    std::string expected = relocated_from("tc");
    // As above, a failure inside realpath may still give the right answer.
    auto run = [] { return relocated_prefix("zin-ar", bin_dir, lib_dir); };

    setenv("PATH", path_of_buffer_size(at("tc"), 4031).c_str(), 1);
    std::free(run());
    unsigned long stack_calls = walk_malloc_failures(run, expected, true);

    setenv("PATH", path_of_buffer_size(at("tc"), 4032).c_str(), 1);
    unsigned long heap_calls = walk_malloc_failures(run, expected, true);
    EXPECT_EQ(heap_calls, stack_calls + 1);

    // Without the heap buffer no PATH entry can be tried: null, not a guess.
    zin_fault_arm("malloc", 1, 1, ENOMEM);
    char *result = run();
    unsigned long calls = zin_fault_calls("malloc");
    zin_fault_disarm();
    EXPECT_EQ(result, nullptr);
    EXPECT_EQ(calls, 1u);
    std::free(result);
}

} // namespace
