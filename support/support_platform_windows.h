// SPDX-License-Identifier: Apache-2.0
// What the Windows sources of every layer share: the conversions between the
// UTF-8 text used inside and the UTF-16 text of the wide system calls, a
// file's attributes by UTF-8 name, and errno values for Windows error codes.
// Windows builds only.
//
// Conversions are strict: text that is not valid UTF-8 (overlong forms,
// encoded surrogates, truncated sequences) or UTF-16 holding an unpaired
// surrogate gives null with errno EILSEQ, never a replacement character, so
// that no call ever acts on a name other than the one it was given.
#pragma once

// A new UTF-16 copy (malloc family) of UTF-8 `text`, or null with errno EILSEQ.
wchar_t *platform_utf8_to_wide(const char *text);

// A new UTF-8 copy (malloc family) of UTF-16 `text`, or null with errno EILSEQ.
char *platform_wide_to_utf8(const wchar_t *text);

// GetFileAttributesW of UTF-8 `name`; INVALID_FILE_ATTRIBUTES when the file
// does not exist or the name is not UTF-8.
unsigned long platform_file_attributes(const char *name);

// The errno value that stands for Windows error `code` (from GetLastError);
// EINVAL for codes without a closer one.
int platform_errno_from_win32(unsigned long code);
