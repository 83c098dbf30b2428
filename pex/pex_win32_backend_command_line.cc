// SPDX-License-Identifier: Apache-2.0
// Quoting an argument vector into one Windows command line. The child's C
// runtime splits it again: arguments end at unquoted spaces and tabs, '"'
// opens and closes quoting, a run of backslashes is literal unless a '"'
// follows it (then each pair gives one backslash, and an odd one left over
// makes the '"' literal). The program name is split by a rule of its own: a
// leading '"' runs to the next '"', with no escapes at all.
#include <cstring>

#include "pex/pex_win32_backend.h"
#include "support/checked_alloc.h"

namespace {

// Whether `argument` must be quoted: empty, or holding a separator or a '"'.
// Newline and vertical tab are quoted too, for runtimes that split at them.
bool needs_quotes(const char *argument) {
    return *argument == '\0' || std::strpbrk(argument, " \t\n\v\"") != nullptr;
}

// Appends `count` backslashes at `out`; the end.
char *put_backslashes(char *out, std::size_t count) {
    std::memset(out, '\\', count);
    return out + count;
}

// Appends one argument after the program name, quoted when it must be; the end.
char *put_argument(char *out, const char *argument) {
    if (!needs_quotes(argument)) {
        std::size_t length = std::strlen(argument);
        // The line is ended once every argument is in.
        // NOLINTNEXTLINE(bugprone-not-null-terminated-result)
        std::memcpy(out, argument, length);
        return out + length;
    }
    *out++ = '"';
    for (const char *in = argument;; ++in) {
        std::size_t backslashes = 0;
        while (*in == '\\') {
            ++backslashes;
            ++in;
        }
        if (*in == '\0') {
            // Doubled: the closing quote follows.
            out = put_backslashes(out, backslashes * 2);
            break;
        }
        if (*in == '"') {
            out = put_backslashes(out, backslashes * 2 + 1);
        } else {
            out = put_backslashes(out, backslashes);
        }
        *out++ = *in;
    }
    *out++ = '"';
    return out;
}

} // namespace

char *pex_win32_command_line(const char *const *argv) {
    if (argv[0] == nullptr || std::strchr(argv[0], '"') != nullptr) {
        return nullptr;
    }
    // Each byte at most doubled, plus two quotes and a separator per argument.
    std::size_t size = 1;
    for (const char *const *argument = argv; *argument != nullptr; ++argument) {
        size += 2 * std::strlen(*argument) + 3;
    }
    char *line = static_cast<char *>(checked_malloc(size));
    // The program name is always quoted, so that neither a space in it nor an
    // empty one can shift the arguments.
    std::size_t name_length = std::strlen(argv[0]);
    char *out = line;
    *out++ = '"';
    std::memcpy(out, argv[0], name_length);
    out += name_length;
    *out++ = '"';
    for (const char *const *argument = argv + 1; *argument != nullptr; ++argument) {
        *out++ = ' ';
        out = put_argument(out, *argument);
    }
    *out = '\0';
    return line;
}
