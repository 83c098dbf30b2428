// SPDX-License-Identifier: Apache-2.0
// What the kit's files offer alike on every host; the rest has one source
// per host (files_posix.cc, files_windows.cc).
#include "testkit/files.h"

namespace kit {

std::string read_stream(std::FILE *stream) {
    std::string content;
    char buffer[65536];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, stream)) > 0) {
        content.append(buffer, got);
    }
    return content;
}

} // namespace kit
