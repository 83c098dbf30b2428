// SPDX-License-Identifier: Apache-2.0
// Cutting a fuzzer's input into strings.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace fuzz {

// The input cut at its NUL bytes into at most `limit` strings (the last one
// ends at the next NUL, or at the end). Empty input gives one empty string.
inline std::vector<std::string> split_at_nul(const std::uint8_t *data, std::size_t size,
                                             std::size_t limit) {
    std::vector<std::string> pieces(1);
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] != 0) {
            pieces.back() += static_cast<char>(data[i]);
        } else if (pieces.size() < limit) {
            pieces.emplace_back();
        } else {
            break;
        }
    }
    return pieces;
}

// Aborts with a message naming the broken property; libFuzzer keeps the input.
[[noreturn]] void fail(const char *property);

#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition))                                                                          \
            ::fuzz::fail(#condition);                                                              \
    } while (0)

} // namespace fuzz
