// SPDX-License-Identifier: Apache-2.0
// A colon-separated list made into prefixes, then a name looked up in them,
// in a scratch directory with a few files. Input: list, NUL, name. The
// prefixes are the pieces in order, each ending in '/' ("./" for an empty
// one); the lookup returns the first prefix + name that exists, is not a
// directory and is readable, or the name itself when it is absolute.
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "fuzz_input.h"
#include "lookup/search_list.h"
#include "testkit/files.h"
#include "testkit/scratch.h"

namespace {

// The pieces of `list` between its ':' separators, empty ones included.
std::vector<std::string> pieces_of(const std::string &list) {
    std::vector<std::string> pieces(1);
    for (char c : list) {
        if (c == ':') {
            pieces.emplace_back();
        } else {
            pieces.back() += c;
        }
    }
    return pieces;
}

// Whether `path` exists, is not a directory and is readable.
bool acceptable(const std::string &path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode) &&
           access(path.c_str(), R_OK) == 0;
}

} // namespace

// libFuzzer's set-up, once before the first input: a scratch directory with
// a few files to work in, removed when the fuzzer ends normally.
extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    if (chdir(kit::process_scratch_dir().c_str()) != 0 || !kit::make_dirs("dir")) {
        fuzz::fail("scratch directory");
    }
    kit::write_file("tool", "", 0755);
    kit::write_file("data", "", 0644);
    kit::write_file("dir/tool", "", 0755);
    kit::write_file("dir/data", "", 0600);
    return 0;
}

// libFuzzer's entry: one input, checked as the file's header says.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    std::vector<std::string> input = fuzz::split_at_nul(data, size, 2);
    input.resize(2);
    const std::string &text = input[0];
    const std::string &name = input[1];

    SearchList list{};
    search_list_from_string(text.c_str(), &list);
    std::vector<std::string> expected;
    std::size_t longest = 0;
    for (const std::string &piece : pieces_of(text)) {
        std::string prefix = piece.empty() ? "./" : piece.back() == '/' ? piece : piece + "/";
        expected.push_back(prefix);
        longest = prefix.size() > longest ? prefix.size() : longest;
    }
    std::size_t index = 0;
    for (SearchListEntry *entry = list.head; entry != nullptr; entry = entry->next, ++index) {
        FUZZ_CHECK(index < expected.size() && expected[index] == entry->prefix);
    }
    FUZZ_CHECK(index == expected.size());
    FUZZ_CHECK(static_cast<std::size_t>(list.max_prefix_length) == longest);

    char *found = search_list_find(&list, name.c_str(), R_OK);
    std::string wanted;
    bool any = false;
    if (!name.empty() && name[0] == '/') {
        any = access(name.c_str(), R_OK) == 0;
        wanted = name;
    } else {
        for (const std::string &prefix : expected) {
            if (acceptable(prefix + name)) {
                any = true;
                wanted = prefix + name;
                break;
            }
        }
    }
    FUZZ_CHECK((found != nullptr) == any);
    FUZZ_CHECK(found == nullptr || wanted == found);

    std::free(found);
    while (list.head != nullptr) {
        SearchListEntry *next = list.head->next;
        std::free(list.head->prefix);
        std::free(list.head);
        list.head = next;
    }
    return 0;
}
