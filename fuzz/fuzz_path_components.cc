// SPDX-License-Identifier: Apache-2.0
// split_path_components on any path: the components concatenate back to the
// path, each but the last ends in its run of '/', none holds a '/' before
// that run, and there is one per separator run (plus the text after the last).
#include <cstring>

#include "fuzz_input.h"
#include "lookup/path_components.h"

// libFuzzer's entry: one input, checked as the file's header says.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    std::string path = fuzz::split_at_nul(data, size, 1)[0];
    int count = -7;
    char **components = split_path_components(path.c_str(), &count);
    if (path.empty()) {
        FUZZ_CHECK(components == nullptr && count == -7);
        return 0;
    }
    FUZZ_CHECK(components != nullptr);
    std::size_t runs = 0;
    for (std::size_t i = 0; i < path.size(); ++i) {
        if (path[i] == '/' && (i == 0 || path[i - 1] != '/')) {
            ++runs;
        }
    }
    FUZZ_CHECK(static_cast<std::size_t>(count) == runs + (path.back() != '/' ? 1 : 0));
    FUZZ_CHECK(components[count] == nullptr);
    std::string joined;
    for (int i = 0; i < count; ++i) {
        std::string component = components[i];
        FUZZ_CHECK(!component.empty());
        std::size_t slash = component.find('/');
        if (i + 1 < count) {
            FUZZ_CHECK(component.back() == '/');
        }
        // Only a trailing run of separators.
        if (slash != std::string::npos) {
            FUZZ_CHECK(component.find_first_not_of('/', slash) == std::string::npos);
        }
        joined += component;
    }
    FUZZ_CHECK(joined == path);
    free_path_components(components);
    return 0;
}
