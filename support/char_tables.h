// SPDX-License-Identifier: Apache-2.0
// Locale-independent character classes and case mapping: constant tables
// indexed by a byte's unsigned value, built at compile time.
#pragma once

#include <cstdint>

inline constexpr std::uint16_t CHAR_BLANK = 0x0001;
inline constexpr std::uint16_t CHAR_CONTROL = 0x0002;
inline constexpr std::uint16_t CHAR_DIGIT = 0x0004;
inline constexpr std::uint16_t CHAR_LOWER = 0x0008;
inline constexpr std::uint16_t CHAR_PRINT = 0x0010;
inline constexpr std::uint16_t CHAR_PUNCT = 0x0020;
inline constexpr std::uint16_t CHAR_SPACE = 0x0040;
inline constexpr std::uint16_t CHAR_UPPER = 0x0080;
inline constexpr std::uint16_t CHAR_HEX_DIGIT = 0x0100;
inline constexpr std::uint16_t CHAR_IDENT_START = 0x0200;
inline constexpr std::uint16_t CHAR_LINE_END = 0x0400;
inline constexpr std::uint16_t CHAR_INLINE_SPACE = 0x0800;

// Entry i is i, 'a'..'z' mapped to 'A'..'Z'.
extern const unsigned char char_upper_table[256];
// Entry i is i, 'A'..'Z' mapped to 'a'..'z'.
extern const unsigned char char_lower_table[256];
// Entry i is the union of the CHAR_* classes that byte value i belongs to.
extern const std::uint16_t char_class_table[256];

// Whether byte `c` (any char, taken as unsigned) is in one of the classes of `mask`.
inline bool char_is(char c, std::uint16_t mask) {
    return (char_class_table[static_cast<unsigned char>(c)] & mask) != 0;
}
