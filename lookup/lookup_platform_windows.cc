// SPDX-License-Identifier: Apache-2.0
// The lookup's host interface on Windows hosts: UTF-8 names inside, the wide
// calls at the boundary.
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <io.h>
#include <windows.h>

#include "lookup/lookup_platform.h"
#include "support/char_tables.h"
#include "support/checked_alloc.h"
#include "support/support_platform_windows.h"

namespace {

// The lookup only looks: others may read, write or delete meanwhile.
constexpr DWORD share_all = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The longest path the wide calls take, in UTF-16 units with the NUL.
constexpr DWORD longest_wide_path = 32768;

// Room on the stack for one path component in UTF-16 units: the longest name
// a Windows file system holds is 255 units, and a component also carries its
// separators. A longer one (a long run of separators, or no file's name at
// all) goes to the heap.
constexpr int component_capacity = 512;

// Whether `path` begins with a drive letter and ':'.
bool has_drive(const char *path) {
    return char_is(path[0], CHAR_UPPER | CHAR_LOWER) && path[1] == ':';
}

// Opens the file or directory `path` names, links followed, with `rights`;
// INVALID_HANDLE_VALUE when it cannot be opened so.
HANDLE open_existing(const wchar_t *path, DWORD rights) {
    // Backup semantics, or a directory would not open.
    return CreateFileW(path, rights, share_all, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                       nullptr);
}

// Fills *facts from the open `file`; false when the system does not say.
bool handle_facts(HANDLE file, FileFacts *facts) {
    BY_HANDLE_FILE_INFORMATION information;
    if (GetFileInformationByHandle(file, &information) == 0) {
        return false;
    }
    facts->identity.volume = information.dwVolumeSerialNumber;
    facts->identity.index =
        (std::uint64_t{information.nFileIndexHigh} << 32) | information.nFileIndexLow;
    facts->is_directory = (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    // Devices and pipes are no disk files, whatever their attributes say.
    facts->is_regular = !facts->is_directory && GetFileType(file) == FILE_TYPE_DISK;
    return true;
}

// platform_file_facts for a UTF-16 path.
bool wide_file_facts(const wchar_t *path, FileFacts *facts) {
    HANDLE file = open_existing(path, FILE_READ_ATTRIBUTES);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    bool known = handle_facts(file, facts);
    CloseHandle(file);
    return known;
}

// This program's file as the loader names it, a new checked UTF-16 string;
// null when the system does not say.
wchar_t *module_path() {
    // The buffer grows until the name fits: it may be longer than MAX_PATH.
    DWORD size = MAX_PATH;
    for (;;) {
        auto *buffer = static_cast<wchar_t *>(checked_malloc(size * sizeof(wchar_t)));
        DWORD length = GetModuleFileNameW(nullptr, buffer, size);
        if (length != 0 && length < size) {
            return buffer;
        }
        std::free(buffer);
        if (length == 0 || size >= longest_wide_path) {
            return nullptr;
        }
        size = size * 2 < longest_wide_path ? size * 2 : longest_wide_path;
    }
}

// The final path of the open `file`, links followed and long names in place
// of short ones ("\\?\C:\dir\name", "\\?\UNC\server\share\name"): a new
// checked UTF-16 string, or null when the system does not say.
wchar_t *final_path(HANDLE file) {
    DWORD size = MAX_PATH;
    for (;;) {
        auto *buffer = static_cast<wchar_t *>(checked_malloc(size * sizeof(wchar_t)));
        DWORD length =
            GetFinalPathNameByHandleW(file, buffer, size, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length != 0 && length < size) {
            return buffer;
        }
        std::free(buffer);
        if (length == 0) {
            return nullptr;
        }
        // Too small: `length` is the size needed, the NUL included.
        size = length;
    }
}

// Where the name in `path` begins once the "\\?\" of a final path is dropped
// where a drive or UNC name can say the same: "\\?\C:\x" is "C:\x", and
// "\\?\UNC\server\share" becomes "\\server\share" in place. The ".." steps
// of a relocated directory only work in such a name.
wchar_t *without_verbatim_prefix(wchar_t *path) {
    if (std::wcsncmp(path, L"\\\\?\\UNC\\", 8) == 0) {
        path[6] = L'\\';
        return path + 6;
    }
    if (std::wcsncmp(path, L"\\\\?\\", 4) == 0 && path[4] != L'\0' && path[5] == L':') {
        return path + 4;
    }
    return path;
}

// The UTF-16 form of component `text`, every '/' made '\\', with its length
// without the NUL in *length: in `room` (component_capacity units) when it
// fits there, else in a new block (plain malloc) that the caller frees. Null
// when `text` is not valid UTF-8 or the block cannot be had.
wchar_t *wide_component(const char *text, wchar_t *room, int *length) {
    int units = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, nullptr, 0);
    if (units == 0) {
        return nullptr;
    }
    wchar_t *wide = room;
    if (units > component_capacity) {
        wide =
            static_cast<wchar_t *>(std::malloc(static_cast<std::size_t>(units) * sizeof(wchar_t)));
        if (wide == nullptr) {
            return nullptr;
        }
    }
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, wide, units);
    for (int i = 0; i < units; ++i) {
        if (wide[i] == L'/') {
            wide[i] = L'\\';
        }
    }
    *length = units - 1;
    return wide;
}

// Frees the UTF-16 form of a component unless it lies in `room`.
void free_wide_component(wchar_t *wide, const wchar_t *room) {
    if (wide != room) {
        std::free(wide);
    }
}

} // namespace

std::size_t platform_path_length(const char *path) {
    // One unit for each UTF-8 sequence, two for one of four bytes (beyond
    // U+FFFF: a surrogate pair); counted from the lead bytes alone.
    constexpr unsigned char continuation_mask = 0xC0; // 10xxxxxx follows a lead byte
    constexpr unsigned char continuation_bits = 0x80;
    constexpr unsigned char four_byte_lead = 0xF0; // 11110xxx
    std::size_t units = 0;
    for (const char *p = path; *p != '\0'; ++p) {
        auto byte = static_cast<unsigned char>(*p);
        if ((byte & continuation_mask) != continuation_bits) {
            units += byte >= four_byte_lead ? 2 : 1;
        }
    }
    return units;
}

bool platform_is_absolute(const char *path) {
    return platform_is_separator(path[0]) || (has_drive(path) && platform_is_separator(path[2]));
}

std::size_t platform_root_length(const char *path) {
    std::size_t length = 0;
    if (has_drive(path)) {
        length = 2;
    } else if (platform_is_separator(path[0]) && platform_is_separator(path[1]) &&
               path[2] != '\0' && !platform_is_separator(path[2])) {
        // A UNC root: two separators, the server, separators, the share.
        length = 2 + platform_name_run(path + 2);
        length += platform_separator_run(path + length);
        length += platform_name_run(path + length);
    }
    return length + platform_separator_run(path + length);
}

char *platform_program_path() {
    wchar_t *wide = module_path();
    if (wide == nullptr) {
        return nullptr;
    }
    char *path = platform_wide_to_utf8(wide);
    std::free(wide);
    return path;
}

bool platform_file_facts(const char *path, FileFacts *facts) {
    wchar_t *wide = platform_utf8_to_wide(path);
    if (wide == nullptr) {
        return false;
    }
    bool known = wide_file_facts(wide, facts);
    std::free(wide);
    return known;
}

bool platform_access(const char *path, int mode) {
    wchar_t *wide = platform_utf8_to_wide(path);
    if (wide == nullptr) {
        return false;
    }
    DWORD rights = FILE_READ_ATTRIBUTES;
    if ((mode & R_OK) != 0) {
        rights |= GENERIC_READ;
    }
    if ((mode & W_OK) != 0) {
        rights |= GENERIC_WRITE;
    }
    HANDLE file = open_existing(wide, rights);
    std::free(wide);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    FileFacts facts;
    bool passes = (mode & X_OK) == 0 || (handle_facts(file, &facts) && facts.is_regular);
    CloseHandle(file);
    return passes;
}

bool running_program_identity(FileIdentity *identity) {
    wchar_t *wide = module_path();
    if (wide == nullptr) {
        return false;
    }
    FileFacts facts;
    bool known = wide_file_facts(wide, &facts);
    std::free(wide);
    if (known) {
        *identity = facts.identity;
    }
    return known;
}

bool platform_is_real_directory(const char *path) {
    // The attributes of the name itself: a link's are its own.
    DWORD attributes = platform_file_attributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
           (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

bool platform_canonical_path(const char *path, char **canonical) {
    wchar_t *wide = platform_utf8_to_wide(path);
    if (wide == nullptr) {
        return false;
    }
    HANDLE file = open_existing(wide, FILE_READ_ATTRIBUTES);
    std::free(wide);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    wchar_t *final = final_path(file);
    CloseHandle(file);
    if (final == nullptr) {
        return false;
    }
    char *text = platform_wide_to_utf8(without_verbatim_prefix(final));
    std::free(final);
    if (text == nullptr) {
        return false;
    }
    *canonical = text;
    return true;
}

bool platform_same_component(const char *a, const char *b) {
    if (std::strcmp(a, b) == 0) {
        return true;
    }
    wchar_t room_a[component_capacity];
    wchar_t room_b[component_capacity];
    int length_a = 0;
    int length_b = 0;
    wchar_t *wide_a = wide_component(a, room_a, &length_a);
    wchar_t *wide_b = wide_component(b, room_b, &length_b);
    // Bytes that are no UTF-8 text equal only themselves. Without memory for
    // a long component the two count as different: at worst a relocated
    // directory climbs out of a directory and back into it.
    bool same = wide_a != nullptr && wide_b != nullptr &&
                CompareStringOrdinal(wide_a, length_a, wide_b, length_b, TRUE) == CSTR_EQUAL;
    free_wide_component(wide_a, room_a);
    free_wide_component(wide_b, room_b);
    return same;
}
