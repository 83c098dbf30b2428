// SPDX-License-Identifier: Apache-2.0
// The host interface on Windows: strict conversions, the environment,
// temporary names and directories, and non-ASCII file names.
#include "support/support_platform_windows.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <windows.h>
// After windows.h, which they need.
#include <aclapi.h>

#include "support/support_platform.h"
#include "support/temp_file.h"
#include "testkit/files.h"
#include "testkit/scratch_test.h"

namespace {

using PlatformWindowsTest = kit::ScratchTest;

// UTF-16 of `text`, for the wide calls of the test itself.
std::wstring wide(const std::string &text) {
    wchar_t *converted = platform_utf8_to_wide(text.c_str());
    std::wstring result = converted != nullptr ? converted : L"";
    std::free(converted);
    return result;
}

TEST(PlatformConversionTest, StrictBothWays) {
    const std::string text = "ascii ελληνικά 日本語 \xF0\x9F\x98\x80";
    wchar_t *utf16 = platform_utf8_to_wide(text.c_str());
    ASSERT_NE(utf16, nullptr);
    EXPECT_EQ(std::wcslen(utf16), 6 + 9 + 4 + 2u) << "the last one a surrogate pair";
    char *back = platform_wide_to_utf8(utf16);
    EXPECT_EQ(back, text);
    std::free(back);
    std::free(utf16);

    // Overlong '/', an encoded surrogate, a cut sequence, a stray byte, past U+10FFFF.
    for (const char *bad : {"\xC0\xAF", "a\xED\xA0\x80", "\xE2\x82", "x\xFF", "\xF4\x90\x80\x80"}) {
        errno = 0;
        EXPECT_EQ(platform_utf8_to_wide(bad), nullptr) << bad;
        EXPECT_EQ(errno, EILSEQ);
    }
    const wchar_t lone_high[] = {L'a', 0xD800, L'b', 0};
    const wchar_t lone_low[] = {0xDC00, 0};
    for (const wchar_t *bad : {lone_high, lone_low}) {
        errno = 0;
        EXPECT_EQ(platform_wide_to_utf8(bad), nullptr);
        EXPECT_EQ(errno, EILSEQ);
    }
}

TEST(PlatformEnvironmentTest, ValuesAsUtf8KeptPerName) {
    const wchar_t *name = L"ZIN_PLATFORM_TEST";
    ASSERT_TRUE(SetEnvironmentVariableW(name, L"ελληνικά"));
    const char *first = platform_getenv("ZIN_PLATFORM_TEST");
    ASSERT_NE(first, nullptr);
    EXPECT_STREQ(first, "ελληνικά");
    EXPECT_EQ(platform_getenv("ZIN_PLATFORM_TEST"), first) << "unchanged: the same copy";
    ASSERT_TRUE(SetEnvironmentVariableW(name, L"日本"));
    EXPECT_STREQ(platform_getenv("ZIN_PLATFORM_TEST"), "日本");
    ASSERT_TRUE(SetEnvironmentVariableW(name, L""));
    EXPECT_STREQ(platform_getenv("ZIN_PLATFORM_TEST"), "");
    const wchar_t lone[] = {L'v', 0xD800, 0};
    ASSERT_TRUE(SetEnvironmentVariableW(name, lone));
    EXPECT_EQ(platform_getenv("ZIN_PLATFORM_TEST"), nullptr) << "not representable";
    ASSERT_TRUE(SetEnvironmentVariableW(name, nullptr));
    EXPECT_EQ(platform_getenv("ZIN_PLATFORM_TEST"), nullptr);
}

TEST_F(PlatformWindowsTest, NonAsciiFileNames) {
    std::string name = at("αρχείο 日本.txt");
    int fd = platform_open(name.c_str(), _O_WRONLY | _O_CREAT | _O_BINARY, 0666);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(_write(fd, "x", 1), 1);
    platform_close(fd);
    EXPECT_NE(GetFileAttributesW(wide(name).c_str()), INVALID_FILE_ATTRIBUTES) << "named as given";
    std::FILE *stream = platform_fopen(name.c_str(), "rb");
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(std::fgetc(stream), 'x');
    std::fclose(stream);
    EXPECT_EQ(platform_remove(name.c_str()), 0);
    EXPECT_EQ(platform_open("bad \xFF name", _O_RDONLY, 0), -1);
    EXPECT_EQ(errno, EILSEQ);
}

// The new file's DACL grants its user alone; Wine, which keeps access as the
// Unix mode bits, reports SYSTEM beside the user, and Everyone never.
TEST_F(PlatformWindowsTest, TemporaryFileForItsOwnerAlone) {
    std::string name = at("ccXXXXXX");
    int fd = platform_make_temp_file(name.data(), 0);
    ASSERT_GE(fd, 0);
    platform_close(fd);
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    std::wstring path = wide(name);
    ASSERT_EQ(GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                    nullptr, nullptr, &dacl, nullptr, &descriptor),
              ERROR_SUCCESS);
    ASSERT_NE(dacl, nullptr);
    HANDLE token;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
    unsigned char user[SECURITY_MAX_SID_SIZE + sizeof(TOKEN_USER)];
    DWORD size = 0;
    ASSERT_TRUE(GetTokenInformation(token, TokenUser, user, sizeof user, &size));
    CloseHandle(token);
    int users = 0;
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void *ace = nullptr;
        ASSERT_TRUE(GetAce(dacl, i, &ace));
        PSID sid = &static_cast<ACCESS_ALLOWED_ACE *>(ace)->SidStart;
        bool is_user = EqualSid(sid, reinterpret_cast<TOKEN_USER *>(user)->User.Sid) != 0;
        users += is_user ? 1 : 0;
        EXPECT_TRUE(is_user || IsWellKnownSid(sid, WinLocalSystemSid)) << "entry " << i;
    }
    EXPECT_EQ(users, 1);
    LocalFree(descriptor);
    platform_remove(name.c_str());
}

// TMPDIR, TMP, TEMP (null: unset; a name: of the scratch directory), and
// which one the choice takes; null there means GetTempPathW's directory.
struct CandidateRow {
    const char *tmpdir;
    const char *tmp;
    const char *temp;
    const char *chosen;
};

const CandidateRow candidate_rows[] = {
    {"first", "second", nullptr, "first"},
    {"missing", "file", "second", "second"},
    {nullptr, nullptr, nullptr, nullptr},
};

// The choice is made once per process: each row in a process of its own.
TEST_F(PlatformWindowsTest, TemporaryDirectoryCandidates) {
    ASSERT_TRUE(CreateDirectoryW(wide(at("first")).c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW(wide(at("second")).c_str(), nullptr));
    std::FILE *file = platform_fopen(at("file").c_str(), "w");
    std::fclose(file);
    for (const CandidateRow &row : candidate_rows) {
        auto choose = [&] {
            const char *values[] = {row.tmpdir, row.tmp, row.temp};
            const wchar_t *names[] = {L"TMPDIR", L"TMP", L"TEMP"};
            for (int i = 0; i < 3; ++i) {
                SetEnvironmentVariableW(names[i], values[i] != nullptr ? wide(at(values[i])).c_str()
                                                                       : nullptr);
            }
            const char *candidates[platform_temp_candidate_max];
            int count = platform_temp_candidates(candidates);
            wchar_t system[MAX_PATH + 1];
            GetTempPathW(MAX_PATH + 1, system);
            std::wstring system_directory = system;
            system_directory.pop_back(); // the separator, given back by temp_directory
            std::string expected = row.chosen != nullptr ? at(row.chosen) : candidates[3];
            bool listed = count == 4 && wide(candidates[3]) == system_directory;
            std::string name = create_temp_file(".o");
            bool named =
                name.rfind(expected + "/cc", 0) == 0 && name.size() == expected.size() + 11;
            bool chosen = temp_directory() == expected + "/";
            // This process's own scratch directory: its tear-down never runs.
            platform_remove(name.c_str());
            kit::remove_tree(scratch_);
            std::exit(listed && chosen && named ? 0 : 1);
        };
        EXPECT_EXIT(choose(), testing::ExitedWithCode(0), "")
            << (row.chosen ? row.chosen : "system");
    }
}

} // namespace
