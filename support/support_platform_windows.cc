// SPDX-License-Identifier: Apache-2.0
// The host interface on Windows: UTF-8 in, the wide calls behind.
#include <cerrno>
#include <climits>
#include <cstring>
#include <cwchar>
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include "support/support_platform.h"
// After windows.h, which it needs.
#include <ntsecapi.h>

#include "support/checked_alloc.h"
#include "support/support_platform_windows.h"

namespace {

// ERROR_ELEVATION_REQUIRED, which MinGW-w64's headers lack: CreateProcess's
// answer for a program that asks for administrator rights.
constexpr unsigned long error_elevation_required = 740;

// A Windows error code and the errno value that stands for it.
struct ErrorMapping {
    unsigned long code;
    int error_number;
};

// The codes the wide calls here and in the other layers give, with the errno
// values their messages and callers expect; the rest read as EINVAL.
constexpr ErrorMapping error_mappings[] = {
    {ERROR_FILE_NOT_FOUND, ENOENT},
    {ERROR_PATH_NOT_FOUND, ENOENT},
    {ERROR_INVALID_DRIVE, ENOENT},
    {ERROR_BAD_NETPATH, ENOENT},
    {ERROR_BAD_PATHNAME, ENOENT},
    {ERROR_INVALID_NAME, ENOENT},
    {ERROR_ENVVAR_NOT_FOUND, ENOENT},
    {ERROR_ACCESS_DENIED, EACCES},
    {error_elevation_required, EACCES},
    {ERROR_SHARING_VIOLATION, EACCES},
    {ERROR_LOCK_VIOLATION, EACCES},
    {ERROR_WRITE_PROTECT, EROFS},
    {ERROR_BAD_EXE_FORMAT, ENOEXEC},
    {ERROR_BAD_FORMAT, ENOEXEC},
    {ERROR_EXE_MACHINE_TYPE_MISMATCH, ENOEXEC},
    {ERROR_INVALID_EXE_SIGNATURE, ENOEXEC},
    {ERROR_CHILD_NOT_COMPLETE, ENOEXEC}, // a program Windows cannot run in its Win32 mode
    {ERROR_NOT_ENOUGH_MEMORY, ENOMEM},
    {ERROR_OUTOFMEMORY, ENOMEM},
    {ERROR_COMMITMENT_LIMIT, ENOMEM},
    {ERROR_NOT_ENOUGH_QUOTA, ENOMEM},
    {ERROR_FILENAME_EXCED_RANGE, ENAMETOOLONG},
    {ERROR_FILE_EXISTS, EEXIST},
    {ERROR_ALREADY_EXISTS, EEXIST},
    {ERROR_INVALID_HANDLE, EBADF},
    {ERROR_TOO_MANY_OPEN_FILES, EMFILE},
    {ERROR_BROKEN_PIPE, EPIPE},
    {ERROR_NO_DATA, EPIPE},
    {ERROR_DISK_FULL, ENOSPC},
    {ERROR_HANDLE_DISK_FULL, ENOSPC},
    {ERROR_DIRECTORY, ENOTDIR},
    {ERROR_DIR_NOT_EMPTY, ENOTEMPTY},
    {ERROR_NOT_SAME_DEVICE, EXDEV},
    {ERROR_NO_PROC_SLOTS, EAGAIN},
    {ERROR_MAX_THRDS_REACHED, EAGAIN},
    {ERROR_WAIT_NO_CHILDREN, ECHILD},
    {ERROR_NO_UNICODE_TRANSLATION, EILSEQ},
};

// One environment variable's value as last read, kept for platform_getenv.
struct CachedValue {
    CachedValue *next;
    char *name;
    char *value; // null while the variable is unset
};

// The values platform_getenv has handed out, one entry per name asked for.
CachedValue *cached_values = nullptr;

// GetTempPathW's directory without its final separator, read once; null
// when there is none. Never freed: it is a candidate for the whole process.
char *system_temp_directory = nullptr;
bool system_temp_directory_read = false;

// The characters that replace the template's six placeholders.
constexpr char temp_alphabet[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
constexpr unsigned temp_alphabet_size = sizeof temp_alphabet - 1;
// Random bytes at or above this are drawn again, so that every character is
// equally likely.
constexpr unsigned temp_byte_limit = (UCHAR_MAX + 1) / temp_alphabet_size * temp_alphabet_size;
// Random bytes asked for at a time.
constexpr std::size_t temp_random_batch = 16;
constexpr int temp_placeholder_length = 6;
// Names tried before giving up with EEXIST.
constexpr int temp_attempts = 100;

// The value of `name` (UTF-16) as a new UTF-8 text; null when unset or not
// representable.
char *read_environment(const wchar_t *name) {
    wchar_t *value = nullptr;
    // The size with the terminating NUL; 0 when unset (an empty value needs 1).
    DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
    // The value may change between the calls: read until it fits.
    while (size != 0) {
        value = static_cast<wchar_t *>(checked_realloc(value, size * sizeof(wchar_t)));
        SetLastError(ERROR_SUCCESS);
        DWORD length = GetEnvironmentVariableW(name, value, size);
        if (length == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND) {
            size = 0;
        } else if (length < size) {
            break;
        } else {
            size = length;
        }
    }
    char *text = size != 0 ? platform_wide_to_utf8(value) : nullptr;
    std::free(value);
    return text;
}

// Fills the six placeholders before the suffix with random characters; false
// when no random bytes could be had.
bool fill_placeholders(char *placeholders) {
    int filled = 0;
    while (filled < temp_placeholder_length) {
        unsigned char bytes[temp_random_batch];
        if (!RtlGenRandom(bytes, sizeof bytes)) {
            return false;
        }
        for (unsigned char byte : bytes) {
            if (byte < temp_byte_limit && filled < temp_placeholder_length) {
                placeholders[filled++] = temp_alphabet[byte % temp_alphabet_size];
            }
        }
    }
    return true;
}

// Room for a security descriptor with a one-entry DACL: the descriptor, the
// process's user and the DACL itself.
struct OwnerOnly {
    SECURITY_DESCRIPTOR descriptor;
    alignas(TOKEN_USER) unsigned char user[SECURITY_MAX_SID_SIZE + sizeof(TOKEN_USER)];
    alignas(
        ACL) unsigned char acl[sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + SECURITY_MAX_SID_SIZE];
};

// Fills `storage` with a descriptor whose DACL grants the process's user
// alone every access, inheriting nothing from the directory; false with the
// Windows error set when it cannot be made.
bool make_owner_only(OwnerOnly *storage) {
    HANDLE token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        return false;
    }
    DWORD size = 0;
    BOOL got = GetTokenInformation(token, TokenUser, storage->user, sizeof storage->user, &size);
    CloseHandle(token);
    if (!got) {
        return false;
    }
    PSID user = reinterpret_cast<TOKEN_USER *>(storage->user)->User.Sid;
    auto *acl = reinterpret_cast<ACL *>(storage->acl);
    return InitializeAcl(acl, sizeof storage->acl, ACL_REVISION) &&
           AddAccessAllowedAce(acl, ACL_REVISION, FILE_ALL_ACCESS, user) &&
           InitializeSecurityDescriptor(&storage->descriptor, SECURITY_DESCRIPTOR_REVISION) &&
           SetSecurityDescriptorDacl(&storage->descriptor, TRUE, acl, FALSE) &&
           SetSecurityDescriptorControl(&storage->descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
}

} // namespace

wchar_t *platform_utf8_to_wide(const char *text) {
    int size = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, nullptr, 0);
    if (size == 0) {
        errno = EILSEQ;
        return nullptr;
    }
    auto *wide =
        static_cast<wchar_t *>(checked_malloc(static_cast<std::size_t>(size) * sizeof(wchar_t)));
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, wide, size);
    return wide;
}

char *platform_wide_to_utf8(const wchar_t *text) {
    int size =
        WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text, -1, nullptr, 0, nullptr, nullptr);
    if (size == 0) {
        errno = EILSEQ;
        return nullptr;
    }
    auto *utf8 = static_cast<char *>(checked_malloc(static_cast<std::size_t>(size)));
    WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text, -1, utf8, size, nullptr, nullptr);
    return utf8;
}

int platform_errno_from_win32(unsigned long code) {
    for (const ErrorMapping &mapping : error_mappings) {
        if (mapping.code == code) {
            return mapping.error_number;
        }
    }
    return EINVAL;
}

const char *platform_getenv(const char *name) {
    wchar_t *wide_name = platform_utf8_to_wide(name);
    char *value = wide_name != nullptr ? read_environment(wide_name) : nullptr;
    std::free(wide_name);
    CachedValue *entry = cached_values;
    while (entry != nullptr && std::strcmp(entry->name, name) != 0) {
        entry = entry->next;
    }
    if (entry == nullptr) {
        entry = static_cast<CachedValue *>(checked_malloc(sizeof(CachedValue)));
        *entry = CachedValue{cached_values, checked_strdup(name), nullptr};
        cached_values = entry;
    }
    if (value != nullptr && entry->value != nullptr && std::strcmp(value, entry->value) == 0) {
        std::free(value); // unchanged: the pointer handed out before stays valid
    } else {
        std::free(entry->value);
        entry->value = value;
    }
    return entry->value;
}

int platform_open(const char *name, int flags, int mode) {
    wchar_t *wide = platform_utf8_to_wide(name);
    if (wide == nullptr) {
        return -1;
    }
    int fd = _wopen(wide, flags, mode);
    int saved_errno = errno;
    std::free(wide);
    errno = saved_errno;
    return fd;
}

int platform_close(int fd) {
    return _close(fd);
}

std::FILE *platform_fopen(const char *name, const char *mode) {
    wchar_t *wide = platform_utf8_to_wide(name);
    wchar_t *wide_mode = platform_utf8_to_wide(mode);
    std::FILE *stream = nullptr;
    if (wide != nullptr && wide_mode != nullptr) {
        stream = _wfopen(wide, wide_mode);
    }
    int saved_errno = errno;
    std::free(wide);
    std::free(wide_mode);
    errno = saved_errno;
    return stream;
}

int platform_remove(const char *name) {
    wchar_t *wide = platform_utf8_to_wide(name);
    if (wide == nullptr) {
        return -1;
    }
    int result = _wremove(wide);
    int saved_errno = errno;
    std::free(wide);
    errno = saved_errno;
    return result;
}

int platform_temp_candidates(const char *candidates[platform_temp_candidate_max]) {
    if (!system_temp_directory_read) {
        system_temp_directory_read = true;
        wchar_t path[MAX_PATH + 1];
        DWORD length = GetTempPathW(MAX_PATH + 1, path);
        if (length != 0 && length <= MAX_PATH) {
            // The separator comes back with every candidate.
            if (length > 1 && path[length - 1] == L'\\' && path[length - 2] != L':') {
                path[length - 1] = L'\0';
            }
            system_temp_directory = platform_wide_to_utf8(path);
        }
    }
    candidates[0] = platform_getenv("TMPDIR");
    candidates[1] = platform_getenv("TMP");
    candidates[2] = platform_getenv("TEMP");
    candidates[3] = system_temp_directory;
    return 4;
}

unsigned long platform_file_attributes(const char *name) {
    wchar_t *wide = platform_utf8_to_wide(name);
    if (wide == nullptr) {
        return INVALID_FILE_ATTRIBUTES;
    }
    DWORD attributes = GetFileAttributesW(wide);
    std::free(wide);
    return attributes;
}

bool platform_usable_directory(const char *path) {
    unsigned long attributes = platform_file_attributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

int platform_make_temp_file(char *name_template, int suffix_length) {
    std::size_t length = std::strlen(name_template);
    if (suffix_length < 0 ||
        length < static_cast<std::size_t>(suffix_length) + temp_placeholder_length) {
        errno = EINVAL;
        return -1;
    }
    char *placeholders = name_template + length - suffix_length - temp_placeholder_length;
    if (std::strncmp(placeholders, "XXXXXX", temp_placeholder_length) != 0) {
        errno = EINVAL;
        return -1;
    }
    OwnerOnly owner_only;
    if (!make_owner_only(&owner_only)) {
        errno = platform_errno_from_win32(GetLastError());
        return -1;
    }
    SECURITY_ATTRIBUTES security = {sizeof security, &owner_only.descriptor, FALSE};
    for (int attempt = 0; attempt < temp_attempts; ++attempt) {
        if (!fill_placeholders(placeholders)) {
            errno = EIO;
            return -1;
        }
        wchar_t *wide = platform_utf8_to_wide(name_template);
        if (wide == nullptr) {
            return -1;
        }
        HANDLE file = CreateFileW(wide, GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &security,
                                  CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD error = GetLastError();
        if (file != INVALID_HANDLE_VALUE) {
            int fd = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_BINARY);
            if (fd < 0) {
                CloseHandle(file);
                DeleteFileW(wide);
                errno = EMFILE;
            }
            std::free(wide);
            return fd;
        }
        std::free(wide);
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
            errno = platform_errno_from_win32(error);
            return -1;
        }
    }
    errno = EEXIST;
    return -1;
}
