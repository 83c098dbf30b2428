// SPDX-License-Identifier: Apache-2.0
// Concatenation of any number of strings, without separators. Every call ends
// its piece list with nullptr; a call without it does not compile. A null piece met at run time
// ends the list, as the terminator does.
#pragma once

#include <cstddef>
#include <type_traits>

// Buffer that join_strings_static writes into; set by its caller, null at start.
extern char *join_strings_buffer;

// Sum of the lengths of the pieces up to the first null entry of `pieces`.
std::size_t join_strings_length_list(const char *const *pieces);

// Copies the pieces up to the first null entry into `destination`, adds a NUL,
// returns `destination`. The caller guarantees the room.
char *join_strings_into_list(char *destination, const char *const *pieces);

// A new heap string (checked_malloc) holding the pieces up to the first null entry.
char *join_strings_list(const char *const *pieces);

// join_strings_list, then free(old) (old may be null and may be one of the pieces).
char *rejoin_strings_list(char *old, const char *const *pieces);

namespace join_detail {

template <typename... Pieces>
struct last_piece;
template <typename Last>
struct last_piece<Last> {
    using type = Last;
};
template <typename First, typename... Rest>
struct last_piece<First, Rest...> : last_piece<Rest...> {};

template <typename... Pieces>
constexpr bool ends_with_nullptr = [] {
    if constexpr (sizeof...(Pieces) == 0) {
        return false;
    } else {
        return std::is_same_v<typename last_piece<Pieces...>::type, std::nullptr_t>;
    }
}();

template <typename... Pieces>
constexpr bool all_pieces_are_strings = (std::is_convertible_v<Pieces, const char *> && ...);

} // namespace join_detail

// A piece list as the joining family takes it: strings, ended by nullptr.
template <typename... Pieces>
concept PieceList =
    join_detail::ends_with_nullptr<Pieces...> && join_detail::all_pieces_are_strings<Pieces...>;

// Total length of the pieces: join_strings_length("ab", "", "c", nullptr) == 3.
template <typename... Pieces>
    requires PieceList<Pieces...>
std::size_t join_strings_length(Pieces... pieces) {
    const char *const list[] = {pieces...};
    return join_strings_length_list(list);
}

// Joins the pieces into `destination`, which must hold join_strings_length + 1 bytes.
template <typename... Pieces>
    requires PieceList<Pieces...>
char *join_strings_into(char *destination, Pieces... pieces) {
    const char *const list[] = {pieces...};
    return join_strings_into_list(destination, list);
}

// Joins the pieces into join_strings_buffer and returns that buffer.
template <typename... Pieces>
    requires PieceList<Pieces...>
char *join_strings_static(Pieces... pieces) {
    const char *const list[] = {pieces...};
    join_strings_into_list(join_strings_buffer, list);
    return join_strings_buffer;
}

// A new string holding the pieces; never null (allocation failure ends the program).
template <typename... Pieces>
    requires PieceList<Pieces...>
char *join_strings(Pieces... pieces) {
    const char *const list[] = {pieces...};
    return join_strings_list(list);
}

// join_strings of the pieces, then free(old); `old` may be one of the pieces.
template <typename... Pieces>
    requires PieceList<Pieces...>
char *rejoin_strings(char *old, Pieces... pieces) {
    const char *const list[] = {pieces...};
    return rejoin_strings_list(old, list);
}
