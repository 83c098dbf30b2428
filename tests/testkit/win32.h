// SPDX-License-Identifier: Apache-2.0
// What the kit's Windows sources share: UTF-8 inside, UTF-16 at the wide
// Windows calls, and the text of a failed call (Windows only).
#pragma once

#include <string>

namespace kit {

// `text` (UTF-8) as UTF-16 for a wide Windows call.
std::wstring wide(const std::string &text);

// `text` (UTF-16 from a wide Windows call) as UTF-8.
std::string narrow(const std::wstring &text);

// `what` followed by ": Windows error N" for the calling thread's last error, for fail().
std::string with_last_error(const std::string &what);

} // namespace kit
