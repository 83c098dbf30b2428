// SPDX-License-Identifier: Apache-2.0
// Everything the lookup does differently on POSIX and on Windows hosts: how
// names are written (separators, absolute names, lists, the executable
// suffix), the running program's own path, what makes two names one file,
// what a search learns about a candidate, the canonical form of a path and
// how two directory names compare. One implementation per host
// (lookup_platform_posix.cc, lookup_platform_windows.cc), chosen by the
// build, and lookup_platform.cc for what both say alike on top of it; the
// constants are here, so that the name rules stay inline.
#pragma once

#include <cstddef>
#include <cstdint>

// platform_windows_names: whether names follow the rules of Windows hosts.
// platform_list_separator: separates the directories of a list held in one
// string, such as PATH. platform_executable_suffix: ends a program's file name.
#if defined(_WIN32)
inline constexpr bool platform_windows_names = true;
inline constexpr char platform_list_separator = ';';
inline constexpr char platform_executable_suffix[] = ".exe";
#else
inline constexpr bool platform_windows_names = false;
inline constexpr char platform_list_separator = ':';
inline constexpr char platform_executable_suffix[] = "";
#endif

// Whether `c` separates directories: '/', and on Windows '\\' as well.
constexpr bool platform_is_separator(char c) {
    return c == '/' || (platform_windows_names && c == '\\');
}

// The number of separators at the start of `text`.
constexpr std::size_t platform_separator_run(const char *text) {
    std::size_t length = 0;
    while (platform_is_separator(text[length])) {
        ++length;
    }
    return length;
}

// The number of bytes of `text` before its first separator or its end: the
// whole of it when it holds no separator.
constexpr std::size_t platform_name_run(const char *text) {
    std::size_t length = 0;
    while (text[length] != '\0' && !platform_is_separator(text[length])) {
        ++length;
    }
    return length;
}

// The length of `path` as the host's PATH_MAX counts it: bytes on POSIX,
// UTF-16 units on Windows, whose MAX_PATH is a limit of the wide calls.
std::size_t platform_path_length(const char *path);

// Whether `path` is absolute. POSIX: it begins with '/'. Windows: it begins
// with a separator (a UNC root "\\server\share\" among them) or with a drive
// letter, ':' and a separator ("C:\", "C:/"); "C:foo" is not absolute.
bool platform_is_absolute(const char *path);

// The length of the start of `path` that no ".." step climbs out of: its
// leading separators; on Windows also a drive "X:" before them, or a whole
// UNC root "\\server\share\".
std::size_t platform_root_length(const char *path);

// A new heap string (malloc family) naming the file this program was started
// from, as the system knows it; null when the host leaves that to argv[0]
// (POSIX) or the name cannot be had. A Windows argv[0] may lack the directory
// and the ".exe"; the loader's path has both.
char *platform_program_path();

// A file as the system tells files apart. POSIX: its device and inode.
// Windows: its volume serial number and file index.
struct FileIdentity {
    std::uint64_t volume;
    std::uint64_t index;
};
static_assert(sizeof(FileIdentity) == 16, "two 64-bit numbers hold either host's identity");

// What a search learns about an existing file, links followed.
struct FileFacts {
    FileIdentity identity;
    bool is_directory;
    bool is_regular;
};

// Fills *facts for the file that `path` names (stat); false when it names
// nothing that can be examined.
bool platform_file_facts(const char *path, FileFacts *facts);

// Whether `path` passes access(`mode`) with the R_OK, W_OK, X_OK bits. Windows
// has no execute bit: X_OK there means an existing regular file, R_OK (W_OK) an
// existing file that can be opened for reading (writing).
bool platform_access(const char *path, int mode);

// Fills *identity with the file that `path` names, links followed; false when
// `path` is null or names nothing that can be examined.
bool file_identity(const char *path, FileIdentity *identity);

// Fills *identity with the file the system started this process from; false
// when the host does not say which file that was.
bool running_program_identity(FileIdentity *identity);

// Whether `path` names a directory itself and not through a symbolic link (on
// Windows: through no reparse point), so that `path` followed by "/.." names
// the directory that holds it.
bool platform_is_real_directory(const char *path);

// Whether the host can make `path` canonical: absolute and free of links and
// "." or ".." steps (POSIX realpath, Windows the final path of the opened
// file); the file must exist. When true, *canonical is a new heap string
// (malloc family) holding that form, or null when it cannot be allocated.
bool platform_canonical_path(const char *path, char **canonical);

// Whether path components `a` and `b` (each a name with the separators that
// end it) name the same directory. POSIX: byte for byte. Windows: without
// regard to case, as its file systems compare names, non-ASCII letters
// included, and with '/' and '\\' alike.
bool platform_same_component(const char *a, const char *b);
