// SPDX-License-Identifier: Apache-2.0
// The string-joining family on up to eight pieces (NUL-separated in the
// input): every member yields the plain concatenation, of the length that
// join_strings_length announces, in a block of exactly that size plus one.
#include <cstdlib>
#include <cstring>

#include "fuzz_input.h"
#include "support/join_strings.h"

// libFuzzer's entry: one input, checked as the file's header says.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    std::vector<std::string> pieces = fuzz::split_at_nul(data, size, 8);
    std::vector<const char *> list;
    std::string expected;
    for (const std::string &piece : pieces) {
        list.push_back(piece.c_str());
        expected += piece;
    }
    list.push_back(nullptr);

    std::size_t length = join_strings_length_list(list.data());
    FUZZ_CHECK(length == expected.size());

    char *joined = join_strings_list(list.data());
    FUZZ_CHECK(std::strlen(joined) == length && expected == joined);

    // Exactly length + 1 bytes: the sanitizer catches a byte written beyond.
    char *buffer = static_cast<char *>(std::malloc(length + 1));
    FUZZ_CHECK(join_strings_into_list(buffer, list.data()) == buffer && expected == buffer);

    // The variadic front ends over the first three pieces.
    pieces.resize(3);
    std::string first_three = pieces[0] + pieces[1] + pieces[2];
    const char *a = pieces[0].c_str();
    const char *b = pieces[1].c_str();
    const char *c = pieces[2].c_str();
    FUZZ_CHECK(join_strings_length(a, b, c, nullptr) == first_three.size());
    char *three = join_strings(a, b, c, nullptr);
    FUZZ_CHECK(first_three == three);
    char *small = static_cast<char *>(std::malloc(first_three.size() + 1));
    join_strings_buffer = small;
    FUZZ_CHECK(join_strings_static(a, b, c, nullptr) == small && first_three == small);
    join_strings_buffer = nullptr;

    // The old string as first piece: read before it is freed.
    char *grown = rejoin_strings(joined, joined, c, nullptr);
    FUZZ_CHECK(expected + pieces[2] == grown);

    std::free(grown);
    std::free(three);
    std::free(small);
    std::free(buffer);
    return 0;
}
