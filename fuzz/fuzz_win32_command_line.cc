// SPDX-License-Identifier: Apache-2.0
// The Windows command-line quoting on fuzzed argument vectors (NUL-separated
// elements, the program name first): a name holding '"' is refused, and any
// other vector gives a line that the C runtime's documented splitting rules,
// written out below, turn back into exactly that vector; on Windows the
// system's own CommandLineToArgvW must agree as well.
//
// With ZIN_FUZZ_STANDALONE the file is a program of its own (MinGW has no
// libFuzzer): it replays the files named on its command line, then
// generated vectors from a fixed seed.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "pex/pex_win32_backend.h"

#ifdef _WIN32
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include "support/support_platform_windows.h"
#endif

namespace {

bool is_blank(char c) {
    return c == ' ' || c == '\t';
}

// The program name: up to the first blank outside '"'; '"' only toggles.
std::size_t split_program_name(const std::string &line, std::string *name) {
    bool quoted = false;
    std::size_t at = 0;
    for (; at < line.size() && (quoted || !is_blank(line[at])); ++at) {
        if (line[at] == '"') {
            quoted = !quoted;
        } else {
            *name += line[at];
        }
    }
    return at;
}

// The vector the documented rules give for `line`.
std::vector<std::string> split_command_line(const std::string &line) {
    std::vector<std::string> argv(1);
    std::size_t at = split_program_name(line, &argv[0]);
    for (;;) {
        while (at < line.size() && is_blank(line[at])) {
            ++at;
        }
        if (at == line.size()) {
            return argv;
        }
        std::string argument;
        bool quoted = false;
        while (at < line.size()) {
            std::size_t backslashes = 0;
            for (; at < line.size() && line[at] == '\\'; ++at) {
                ++backslashes;
            }
            if (at < line.size() && line[at] == '"') {
                // Pairs of backslashes give one each; an odd one left escapes the '"'.
                argument.append(backslashes / 2, '\\');
                if (backslashes % 2 == 1) {
                    argument += '"';
                } else if (quoted && at + 1 < line.size() && line[at + 1] == '"') {
                    argument += '"'; // "" inside quotes
                    ++at;
                } else {
                    quoted = !quoted;
                }
                ++at;
                continue;
            }
            argument.append(backslashes, '\\');
            if (at == line.size() || (!quoted && is_blank(line[at]))) {
                break;
            }
            argument += line[at++];
        }
        argv.push_back(argument);
    }
}

#ifdef _WIN32
// CommandLineToArgvW's split of `line`; false when the line is not UTF-8 and
// so has no UTF-16 form to give it.
bool split_by_the_system(const char *line, std::vector<std::string> *argv) {
    wchar_t *wide = platform_utf8_to_wide(line);
    if (wide == nullptr) {
        return false;
    }
    int count = 0;
    wchar_t **parsed = CommandLineToArgvW(wide, &count);
    FUZZ_CHECK(parsed != nullptr);
    for (int i = 0; i < count; ++i) {
        char *argument = platform_wide_to_utf8(parsed[i]);
        FUZZ_CHECK(argument != nullptr);
        argv->push_back(argument);
        std::free(argument);
    }
    LocalFree(parsed);
    std::free(wide);
    return true;
}
#endif

} // namespace

// libFuzzer's entry: one input, checked as the file's header says.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    std::vector<std::string> elements = fuzz::split_at_nul(data, size, 64);
    std::vector<const char *> argv;
    for (const std::string &element : elements) {
        argv.push_back(element.c_str());
    }
    argv.push_back(nullptr);
    char *line = pex_win32_command_line(argv.data());
    if (elements[0].find('"') != std::string::npos) {
        FUZZ_CHECK(line == nullptr);
        return 0;
    }
    FUZZ_CHECK(line != nullptr);
    FUZZ_CHECK(split_command_line(line) == elements);
#ifdef _WIN32
    std::vector<std::string> by_the_system;
    if (split_by_the_system(line, &by_the_system)) {
        FUZZ_CHECK(by_the_system == elements);
    }
#endif
    std::free(line);
    return 0;
}

#ifdef ZIN_FUZZ_STANDALONE
namespace {

// Pieces the generated vectors are made of: what quoting turns on, and text
// beyond ASCII.
const char *const pieces[] = {" ",
                              "\t",
                              "\"",
                              "\\",
                              "\\\\",
                              "a",
                              "b c",
                              "\n",
                              "\xCE\xB1",
                              "\xE6\x97\xA5",
                              "\xF0\x9F\x98\x80"};
constexpr std::size_t piece_count = sizeof pieces / sizeof pieces[0];
constexpr int generated_vectors = 5000;

// A small deterministic generator (xorshift32): the same vectors every run.
std::uint32_t next(std::uint32_t *state) {
    *state ^= *state << 13;
    *state ^= *state >> 17;
    *state ^= *state << 5;
    return *state;
}

} // namespace

int main(int argc, char **argv) {
    for (int i = 1; i < argc; ++i) {
        std::FILE *file = std::fopen(argv[i], "rb");
        if (file == nullptr) {
            std::fprintf(stderr, "cannot read %s\n", argv[i]);
            return 2;
        }
        std::vector<std::uint8_t> input;
        for (int c; (c = std::fgetc(file)) != EOF;) {
            input.push_back(static_cast<std::uint8_t>(c));
        }
        std::fclose(file);
        LLVMFuzzerTestOneInput(input.data(), input.size());
    }
    std::uint32_t state = 0x2545F491;
    for (int i = 0; i < generated_vectors; ++i) {
        std::string input;
        std::uint32_t elements = 1 + next(&state) % 6;
        for (std::uint32_t e = 0; e < elements; ++e) {
            if (e != 0) {
                input += '\0';
            }
            for (std::uint32_t p = next(&state) % 8; p != 0; --p) {
                const char *piece = pieces[next(&state) % piece_count];
                if (e != 0 || std::strchr(piece, '"') == nullptr || next(&state) % 8 == 0) {
                    input += piece;
                }
            }
        }
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t *>(input.data()), input.size());
    }
    std::printf("%d files and %d generated vectors round-tripped\n", argc - 1, generated_vectors);
    return 0;
}
#endif
