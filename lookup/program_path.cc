// SPDX-License-Identifier: Apache-2.0
// Finding the running program on PATH and taking its canonical form.
#include "lookup/program_path.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "lookup/base_name.h"
#include "lookup/canonical_path.h"
#include "lookup/lookup_platform.h"
#include "lookup/path_list.h"
#include "support/support_platform.h"

namespace {

// Candidate buffers up to this size live on the stack; larger ones on the heap.
constexpr std::size_t stack_candidate_size = 4031;

// Whether `path` is an executable regular file.
bool is_program_file(const char *path) {
    FileFacts facts;
    return platform_access(path, X_OK) && platform_file_facts(path, &facts) && facts.is_regular;
}

// Forms each candidate of `search_path` in `candidate` (room for the longest)
// and returns it at the first executable regular file, else null.
const char *search_path_entries(const char *search_path, const char *name, std::size_t name_length,
                                char *candidate) {
    const char *start = search_path;
    for (;;) {
        const char *end = path_list_piece_end(start, platform_list_separator);
        std::size_t prefix_length =
            path_list_prefix(candidate, start, static_cast<std::size_t>(end - start));
        std::memcpy(candidate + prefix_length, name, name_length + 1);

        if (is_program_file(candidate)) {
            return candidate;
        }
        if (*end == '\0') {
            return nullptr;
        }
        start = end + 1;
    }
}

// The program path relocation splits: the canonical form of `path`
// (`canonical` set), or a plain copy.
char *program_path_copy(const char *path, bool canonical) {
    return canonical ? canonical_path(path) : strdup(path);
}

// Looks `name` up on `search_path` and copies the first program found there,
// or the name itself (program_path_copy). Out of line, so that the candidate
// buffer is on the stack only while PATH is searched: a program path holding
// a separator is resolved without it beneath realpath's own buffers, which
// spares a run a page.
[[gnu::noinline]] char *search_and_copy(const char *search_path, const char *name, bool canonical) {
    std::size_t name_length = std::strlen(name);
    std::size_t path_length = std::strlen(search_path);
    // Entry, '/', name and NUL; or "./", name and NUL for an empty value.
    std::size_t extra = path_length != 0 ? 2 : 3;
    if (name_length > SIZE_MAX - extra - path_length) {
        return nullptr;
    }
    std::size_t size = name_length + path_length + extra;

    char stack_candidate[stack_candidate_size];
    char *heap_candidate = nullptr;
    char *candidate = stack_candidate;
    if (size > stack_candidate_size) {
        // Without the buffer no PATH entry can be tried. Going on with the
        // bare name would relocate against the current directory although
        // the program may well be on PATH; null lets the caller keep its
        // configured directory instead.
        heap_candidate = static_cast<char *>(std::malloc(size));
        if (heap_candidate == nullptr) {
            return nullptr;
        }
        candidate = heap_candidate;
    }
    const char *found = search_path_entries(search_path, name, name_length, candidate);
    char *full = program_path_copy(found != nullptr ? found : name, canonical);
    std::free(heap_candidate);
    return full;
}

// resolve_program_path (`canonical` set) or find_program_path.
char *locate_program_path(const char *program_path, bool canonical) {
    if (program_path == nullptr) {
        return nullptr;
    }
    if (platform_base_name(program_path) == program_path) {
        if (const char *search_path = platform_getenv("PATH"); search_path != nullptr) {
            return search_and_copy(search_path, program_path, canonical);
        }
    }
    return program_path_copy(program_path, canonical);
}

} // namespace

char *resolve_program_path(const char *program_path) {
    return locate_program_path(program_path, true);
}

char *find_program_path(const char *program_path) {
    return locate_program_path(program_path, false);
}
