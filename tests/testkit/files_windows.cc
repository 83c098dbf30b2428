// SPDX-License-Identifier: Apache-2.0
// The kit's files on Windows hosts: UTF-8 names through the wide calls, '/'
// and '\\' both separators. Of a mode only the owner's write bit counts: a
// file without it is made read-only.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include "testkit/fail.h"
#include "testkit/files.h"
#include "testkit/win32.h"

namespace kit {

namespace {

bool is_directory(const std::wstring &path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

} // namespace

bool make_dirs(const std::string &path) {
    for (std::size_t at = 1; at <= path.size(); ++at) {
        if (at != path.size() && path[at] != '/' && path[at] != '\\') {
            continue;
        }
        // Drive roots and directories already there are passed by.
        std::wstring prefix = wide(path.substr(0, at));
        if (!is_directory(prefix) && !CreateDirectoryW(prefix.c_str(), nullptr) &&
            GetLastError() != ERROR_ALREADY_EXISTS) {
            fail(with_last_error("CreateDirectoryW " + path.substr(0, at)));
            return false;
        }
    }
    return true;
}

bool write_file(const std::string &path, const std::string &content, mode_t mode) {
    std::wstring temporary = wide(path + ".new");
    HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        fail(with_last_error("CreateFileW " + path + ".new"));
        return false;
    }
    DWORD wrote = 0;
    bool written =
        content.empty() ||
        (WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &wrote, nullptr) &&
         wrote == content.size());
    bool closed = CloseHandle(file);
    DWORD attributes = (mode & 0200) != 0 ? FILE_ATTRIBUTE_NORMAL : FILE_ATTRIBUTE_READONLY;
    if (!written || !closed ||
        !MoveFileExW(temporary.c_str(), wide(path).c_str(), MOVEFILE_REPLACE_EXISTING) ||
        !SetFileAttributesW(wide(path).c_str(), attributes)) {
        fail(with_last_error("write " + path));
        DeleteFileW(temporary.c_str());
        return false;
    }
    return true;
}

std::string read_file(const std::string &path) {
    int fd = _wopen(wide(path).c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
    if (fd < 0) {
        fail(with_errno("open " + path));
        return "";
    }
    std::string content = read_fd(fd);
    _close(fd);
    return content;
}

bool copy_file(const std::string &from, const std::string &to, mode_t mode) {
    int fd = _wopen(wide(from).c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
    if (fd < 0) {
        fail(with_errno("open " + from));
        return false;
    }
    std::string content = read_fd(fd);
    _close(fd);
    return write_file(to, content, mode);
}

std::string read_fd(int fd) {
    std::string content;
    char buffer[65536];
    int got;
    while ((got = _read(fd, buffer, sizeof buffer)) > 0) {
        content.append(buffer, static_cast<std::size_t>(got));
    }
    return content;
}

std::set<std::string> entries(const std::string &directory) {
    std::set<std::string> names;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(wide(directory + "/*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return names;
    }
    do {
        std::string name = narrow(found.cFileName);
        if (name != "." && name != "..") {
            names.insert(name);
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

void remove_tree(const std::string &path) {
    std::wstring name = wide(path);
    DWORD attributes = path.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(name.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return;
    }
    // A read-only file or directory cannot be removed.
    SetFileAttributesW(name.c_str(), FILE_ATTRIBUTE_NORMAL);
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
        (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            RemoveDirectoryW(name.c_str());
        } else {
            DeleteFileW(name.c_str());
        }
        return;
    }
    for (const std::string &entry : entries(path)) {
        remove_tree(path + "/" + entry);
    }
    RemoveDirectoryW(name.c_str());
}

} // namespace kit
