// SPDX-License-Identifier: Apache-2.0
// The wrappers start thousands of times in a build: they must need nothing
// but the C library, either linked in or as their one shared library.
#include <cstdio>
#include <sstream>

#include "testkit/wrapper_test.h"

namespace {

using namespace kit;

// What `readelf <option> <program>` prints; a failed run fails the test.
std::string readelf_output(const std::string &readelf, const char *option,
                           const std::string &program) {
    Launch launch{.executable = readelf, .argv = {readelf, option, program}};
    SCOPED_TRACE(describe(launch));
    Outcome outcome = run_program(launch);
    EXPECT_EQ(0, exit_code(outcome.wait_status)) << outcome.err;
    return outcome.out;
}

// Names that only the C++ runtime defines: a static program that holds one
// has the runtime linked in.
bool is_cxx_runtime_symbol(const std::string &name) {
    for (const char *prefix :
         {"_ZNSt", "_ZNKSt", "_ZSt", "_Znw", "_Zna", "_ZdlPv", "_ZdaPv", "__cxa_throw",
          "__cxa_begin_catch", "__gxx_personality", "_ZTVN10__cxxabiv"}) {
        if (name.rfind(prefix, 0) == 0) {
            return true;
        }
    }
    return false;
}

TEST(LeanStartup, ProgramsNeedOnlyTheCLibrary) {
#ifdef ZIN_E2E_SANITIZED
    GTEST_SKIP() << "sanitizer builds link their runtimes";
#endif
    std::string readelf = find_on_path("readelf");
    if (readelf.empty()) {
        GTEST_SKIP() << "readelf is not installed: cannot read the dynamic section";
    }
    const TreePrograms &programs = built_programs();
    for (const std::string &program : {programs.zin_ar, programs.zin_nm, programs.zin_ranlib}) {
        SCOPED_TRACE(program);
        std::vector<std::string> needed;
        std::istringstream dynamic(readelf_output(readelf, "-d", program));
        for (std::string line; std::getline(dynamic, line);) {
            if (line.find("(NEEDED)") == std::string::npos) {
                continue;
            }
            std::size_t open = line.find('[');
            std::size_t close = line.find(']', open);
            ASSERT_NE(std::string::npos, close) << line;
            needed.push_back(line.substr(open + 1, close - open - 1));
        }
        if (!needed.empty()) {
            ASSERT_EQ(1u, needed.size()) << "a dynamic program loads libc alone";
            EXPECT_EQ(0u, needed[0].rfind("libc.so.", 0)) << needed[0];
            continue;
        }
        // Static: the symbol table shows what was linked in.
        bool has_main = false;
        std::istringstream symbols(readelf_output(readelf, "-sW", program));
        for (std::string line; std::getline(symbols, line);) {
            std::size_t last = line.find_last_of(' ');
            std::string symbol = last == std::string::npos ? line : line.substr(last + 1);
            has_main = has_main || symbol == "main";
            EXPECT_FALSE(is_cxx_runtime_symbol(symbol)) << "C++ runtime linked in: " << line;
        }
        EXPECT_TRUE(has_main) << "no symbol table to check: is the program stripped?";
    }
}

} // namespace
