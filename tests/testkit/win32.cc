// SPDX-License-Identifier: Apache-2.0
#include "testkit/win32.h"

#include <windows.h>

namespace kit {

std::wstring wide(const std::string &text) {
    if (text.empty()) {
        return {};
    }
    int length = static_cast<int>(text.size());
    int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), length, nullptr, 0);
    std::wstring result(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), length, result.data(), size);
    return result;
}

std::string narrow(const std::wstring &text) {
    if (text.empty()) {
        return {};
    }
    int length = static_cast<int>(text.size());
    int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), length, result.data(), size, nullptr, nullptr);
    return result;
}

std::string with_last_error(const std::string &what) {
    return what + ": Windows error " + std::to_string(GetLastError());
}

} // namespace kit
