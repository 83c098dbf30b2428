// Capturing what code run in this process writes to standard error.
#pragma once

#include <cstdio>
#include <string>
#include <unistd.h>

// Runs `action` (returning int, stored in *result) with descriptor 2 sent to a
// temporary file, and returns what was written there.
template <typename Action>
std::string capture_stderr(Action action, int *result) {
    std::fflush(stderr);
    std::FILE *sink = std::tmpfile();
    int saved = dup(2);
    dup2(fileno(sink), 2);
    *result = action();
    std::fflush(stderr);
    dup2(saved, 2);
    close(saved);
    std::string text;
    std::rewind(sink);
    char buffer[4096];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, sink)) > 0) {
        text.append(buffer, got);
    }
    std::fclose(sink);
    return text;
}
