// SPDX-License-Identifier: Apache-2.0
// relocate_directory on fuzzed program path, bin directory and target
// directory (NUL-separated); it never consults the file system. A result is
// the program's directory, one "../" for every bin component past the part
// bin and target share, then the rest of the target; it ends in '/' exactly when the target does
// whenever it takes anything from the target. Null exactly when nothing is to relocate (the
// program's directory is the bin directory), bin and target share no first component, or an input
// is empty.
#include <cstdlib>

#include "fuzz_input.h"
#include "lookup/relocated_prefix.h"

namespace {

// Components as the relocation splits them: each ends with its run of '/'.
std::vector<std::string> components(const std::string &path) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    std::size_t at = 0;
    while (at < path.size()) {
        if (path[at] != '/') {
            ++at;
            continue;
        }
        while (at < path.size() && path[at] == '/') {
            ++at;
        }
        parts.push_back(path.substr(start, at - start));
        start = at;
    }
    if (start < path.size()) {
        parts.push_back(path.substr(start));
    }
    return parts;
}

} // namespace

// libFuzzer's entry: one input, checked as the file's header says.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    std::vector<std::string> input = fuzz::split_at_nul(data, size, 3);
    input.resize(3);
    const std::string &program = input[0];
    const std::string &bin = input[1];
    const std::string &target = input[2];
    char *result = relocate_directory(program.c_str(), bin.c_str(), target.c_str());

    std::vector<std::string> p = components(program);
    std::vector<std::string> b = components(bin);
    std::vector<std::string> t = components(target);
    // Every component but the last, which counts as the program's name even
    // when it ends in '/'.
    std::string program_dir;
    for (std::size_t i = 0; i + 1 < p.size(); ++i) {
        program_dir += p[i];
    }
    std::size_t common = 0;
    while (common < b.size() && common < t.size() && b[common] == t[common]) {
        ++common;
    }
    // Equal strings split into equal components: the directory is bin's.
    bool unmoved = !p.empty() && program_dir == bin;
    bool expect_null = program.empty() || bin.empty() || unmoved || target.empty() || common == 0;
    FUZZ_CHECK((result == nullptr) == expect_null);
    if (result == nullptr) {
        return 0;
    }

    std::string relocated = result;
    std::free(result);
    std::string rest;
    for (std::size_t i = common; i < t.size(); ++i) {
        rest += t[i];
    }
    std::string climb;
    for (std::size_t i = common; i < b.size(); ++i) {
        climb += "../";
    }
    FUZZ_CHECK(relocated == program_dir + climb + rest);
    FUZZ_CHECK(rest.empty() || (relocated.back() == '/') == (target.back() == '/'));
    // What is taken from the target is its tail, after the part shared with bin.
    FUZZ_CHECK(target.size() >= rest.size() &&
               target.compare(target.size() - rest.size(), rest.size(), rest) == 0);
    return 0;
}
