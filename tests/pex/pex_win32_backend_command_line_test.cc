// SPDX-License-Identifier: Apache-2.0
// Quoting an argument vector into a Windows command line. Plain string work:
// runs on every host; on Windows the lines are also split back by the system.
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "pex/pex_win32_backend.h"

namespace {

// An argument vector and the command line it must give.
struct QuotingRow {
    std::vector<const char *> argv;
    const char *line;
};

// Each expected line is what the C runtime's documented rules split back into
// the vector (arguments after the first; the first runs between two '"').
const QuotingRow quoting_rows[] = {
    {{"prog"}, R"("prog")"},
    {{"C:\\Program Files\\ar.exe", "rcs"}, R"("C:\Program Files\ar.exe" rcs)"},
    {{"", "a"}, R"("" a)"},
    {{"C:\\dir\\", "x"}, R"("C:\dir\" x)"},
    {{"p", "plain", "a\\b\\c"}, R"("p" plain a\b\c)"},
    {{"p", ""}, R"("p" "")"},
    {{"p", "", ""}, R"("p" "" "")"},
    {{"p", "two words", "tab\there"}, "\"p\" \"two words\" \"tab\there\""},
    {{"p", "line\nend", "v\vtab"}, "\"p\" \"line\nend\" \"v\vtab\""},
    {{"p", "say \"hi\""}, R"("p" "say \"hi\"")"},
    {{"p", "\""}, R"("p" "\"")"},
    {{"p", "a\\\"b"}, R"("p" "a\\\"b")"},
    {{"p", "a\\\\\"b"}, R"("p" "a\\\\\"b")"},
    {{"p", "end\\", "dir with space\\"}, R"("p" end\ "dir with space\\")"},
    {{"p", "two\\\\ x"}, R"("p" "two\\ x")"},
    {{"p", "\\\\server\\share"}, R"("p" \\server\share)"},
    {{"p", "ελληνικά", "日本 語"}, "\"p\" ελληνικά \"日本 語\""},
};

TEST(PexWin32CommandLineTest, QuotesEachArgument) {
    for (const QuotingRow &row : quoting_rows) {
        std::vector<const char *> argv = row.argv;
        argv.push_back(nullptr);
        char *line = pex_win32_command_line(argv.data());
        ASSERT_NE(line, nullptr) << row.line;
        EXPECT_EQ(std::string(line), row.line);
        std::free(line);
    }
}

TEST(PexWin32CommandLineTest, RefusesWhatNoLineCanCarry) {
    const char *const empty[] = {nullptr};
    const char *const quoted_name[] = {"a\"b", "x", nullptr};
    EXPECT_EQ(pex_win32_command_line(empty), nullptr);
    EXPECT_EQ(pex_win32_command_line(quoted_name), nullptr);
}

} // namespace
