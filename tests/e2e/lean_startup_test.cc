// The wrappers start thousands of times in a build: they must need nothing
// but the C library.
#include <cstdio>
#include <sstream>

#include "e2e/e2e_support.h"

namespace e2e {
namespace {

TEST(LeanStartup, ProgramsNeedOnlyTheCLibrary) {
#ifdef ZIN_E2E_SANITIZED
    GTEST_SKIP() << "sanitizer builds link their runtimes";
#endif
    std::string readelf = find_on_path("readelf");
    if (readelf.empty()) {
        GTEST_SKIP() << "readelf is not installed: cannot read the dynamic section";
    }
    for (const char *name : {"zin-ar", "zin-nm", "zin-ranlib"}) {
        Command command;
        command.executable = readelf;
        command.argv = {readelf, "-d", built_program(name)};
        SCOPED_TRACE(describe_command(command));
        Outcome outcome = run_command(command);
        ASSERT_EQ(0, exit_code(outcome)) << outcome.err;
        std::vector<std::string> needed;
        std::istringstream text(outcome.out);
        for (std::string line; std::getline(text, line);) {
            if (line.find("(NEEDED)") == std::string::npos) {
                continue;
            }
            std::size_t open = line.find('[');
            std::size_t close = line.find(']', open);
            ASSERT_NE(std::string::npos, close) << line;
            needed.push_back(line.substr(open + 1, close - open - 1));
        }
        ASSERT_EQ(1u, needed.size()) << outcome.out;
        EXPECT_EQ(0u, needed[0].rfind("libc.so.", 0)) << needed[0];
    }
}

} // namespace
} // namespace e2e
