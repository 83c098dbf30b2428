// SPDX-License-Identifier: Apache-2.0
// Checked allocation, fatal exit and error text.
#include "support/checked_alloc.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>

#include "support/error_text.h"
#include "support/fatal_exit.h"

#if defined(__SANITIZE_ADDRESS__)
#define ZIN_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZIN_TEST_ASAN 1
#endif
#endif

#ifdef ZIN_TEST_ASAN
// AddressSanitizer would report the deliberately impossible requests below as
// errors of its own; make its allocator return null as the platform's does.
extern "C" const char *__asan_default_options() {
    return "allocator_may_return_null=1";
}
// It announces each such null on standard error before the report of the test.
constexpr char asan_note[] = "(==[0-9]+==WARNING: AddressSanitizer failed to allocate [^\n]*\n)?";
#else
constexpr char asan_note[] = "";
#endif

namespace {

// A request no allocator can satisfy (half the address space).
constexpr std::size_t impossible_size = SIZE_MAX / 2;

void mark_hook() {
    std::fputs("hook ran\n", stderr);
}

// Pattern of the exact standard error of a failed impossible request: the
// report starting with `name` for `size` bytes, then `after`.
std::string failure_output(const std::string &name, const std::string &size,
                           const std::string &after = "") {
    return std::string("^") + asan_note + "\n" + name + "out of memory allocating " + size +
           " bytes\n" + after + "$";
}

TEST(CheckedAllocTest, MallocZeroGivesDistinctUsableBlocks) {
    auto *first = static_cast<char *>(checked_malloc(0));
    auto *second = static_cast<char *>(checked_malloc(0));
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first, second);
    first[0] = 'x'; // one byte is there to use
    second[0] = 'y';
    std::free(first);
    std::free(second);
}

// Every byte zeroed; a zero count or size still gives one byte to use.
TEST(CheckedAllocTest, CallocZeroesEveryByte) {
    for (auto [count, size] :
         {std::pair<std::size_t, std::size_t>{0, 8}, {8, 0}, {0, 0}, {100, 4}}) {
        auto *block = static_cast<unsigned char *>(checked_calloc(count, size));
        ASSERT_NE(block, nullptr);
        for (std::size_t i = 0; i < std::max<std::size_t>(count * size, 1); ++i) {
            EXPECT_EQ(block[i], 0) << count << " x " << size << ", byte " << i;
        }
        std::free(block);
    }
}

TEST(CheckedAllocTest, ReallocOfNullAllocates) {
    auto *block = static_cast<char *>(checked_realloc(nullptr, 16));
    ASSERT_NE(block, nullptr);
    std::memset(block, 'a', 16);
    std::free(block);
}

TEST(CheckedAllocTest, ReallocKeepsContents) {
    auto *block = static_cast<char *>(checked_malloc(4));
    std::memcpy(block, "abc", 4);
    block = static_cast<char *>(checked_realloc(block, 4096));
    EXPECT_STREQ(block, "abc");
    block = static_cast<char *>(checked_realloc(block, 2));
    EXPECT_EQ(block[0], 'a');
    EXPECT_EQ(block[1], 'b');
    std::free(block);
}

TEST(CheckedAllocTest, ReallocToZeroKeepsOneByte) {
    auto *block = static_cast<char *>(checked_malloc(8));
    block[0] = 'k';
    block = static_cast<char *>(checked_realloc(block, 0));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block[0], 'k');
    std::free(block);
}

TEST(CheckedAllocTest, StrdupCopies) {
    const char text[] = "zin-ar";
    char *copy = checked_strdup(text);
    EXPECT_NE(copy, text);
    EXPECT_STREQ(copy, text);
    std::free(copy);
    char *empty = checked_strdup("");
    EXPECT_STREQ(empty, "");
    std::free(empty);
}

// Every death test below sets its state in the child only.
using CheckedAllocDeathTest = ::testing::Test;

// Each way out: what the child does, its exit status and the pattern of its
// exact standard error.
TEST_F(CheckedAllocDeathTest, ReportsAndExits) {
    EXPECT_EQ(fatal_exit_hook, nullptr);
    const std::string impossible = "9223372036854775807";
    struct Row {
        const char *what;
        void (*action)();
        int code;
        std::string pattern;
    };
    const Row rows[] = {
        {"report without name", [] { report_alloc_failure(24); }, 1,
         "^\nout of memory allocating 24 bytes\n$"},
        {"report with name",
         [] {
             set_alloc_program_name("zin-ar");
             report_alloc_failure(24);
         },
         1, "^\nzin-ar: out of memory allocating 24 bytes\n$"},
        {"report of a full 64-bit size", [] { report_alloc_failure(UINT64_MAX); }, 1,
         "^\nout of memory allocating 18446744073709551615 bytes\n$"},
        {"malloc", [] { checked_malloc(impossible_size); }, 1, failure_output("", impossible)},
        {"malloc with a program name",
         [] {
             set_alloc_program_name("zin-nm");
             checked_malloc(impossible_size);
         },
         1, failure_output("zin-nm: ", impossible)},
        {"calloc reports the product",
         [] { checked_calloc(std::size_t{1} << 32, std::size_t{1} << 31); }, 1,
         failure_output("", "9223372036854775808")},
        // The product is taken modulo 2^64: SIZE_MAX * 2 reports 2^64 - 2.
        {"calloc reports the wrapped product", [] { checked_calloc(SIZE_MAX, 2); }, 1,
         failure_output("", "18446744073709551614")},
        {"realloc", [] { checked_realloc(checked_malloc(8), impossible_size); }, 1,
         failure_output("", impossible)},
        {"realloc of null", [] { checked_realloc(nullptr, impossible_size); }, 1,
         failure_output("", impossible)},
        {"hook runs once after the message",
         [] {
             fatal_exit_hook = mark_hook;
             checked_malloc(impossible_size);
         },
         1, failure_output("", impossible, "hook ran\n")},
        {"fatal exit without hook", [] { fatal_exit(7); }, 7, "^$"},
        {"fatal exit calls the hook once",
         [] {
             fatal_exit_hook = mark_hook;
             fatal_exit(3);
         },
         3, "^hook ran\n$"},
        // A fully buffered stream on the child's standard error: its text
        // reaches the captured output only if the exit flushes it.
        {"fatal exit flushes open streams",
         [] {
             std::FILE *stream = fdopen(dup(STDERR_FILENO), "w");
             std::setvbuf(stream, nullptr, _IOFBF, BUFSIZ);
             std::fputs("still buffered\n", stream);
             fatal_exit(5);
         },
         5, "^still buffered\n$"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EXIT(row.action(), ::testing::ExitedWithCode(row.code), row.pattern);
    }
}

// Messages print the platform's own text for the numbers it knows; any other
// number still reads as a text, never null or empty, the same on every call.
// (glibc and FreeBSD have a text for every number, so the fallback of a
// platform without one is not reached here.)
TEST(ErrorTextTest, KnownNumbersReadAsThePlatformsOthersAsAText) {
    for (int number : {EPERM, ENOENT, EACCES, ENOMEM, ENOEXEC}) {
        EXPECT_STREQ(error_text(number), std::strerror(number)) << number;
    }
    for (int number : {-1, 4242, INT32_MAX}) {
        const char *text = error_text(number);
        ASSERT_NE(text, nullptr) << number;
        std::string first = text;
        EXPECT_FALSE(first.empty()) << number;
        EXPECT_NE(first, error_text(ENOENT)) << number;
        EXPECT_EQ(error_text(number), first) << number;
    }
}

} // namespace
