// SPDX-License-Identifier: Apache-2.0
// The driver's command-line rewriting on fuzzed argument vectors (first byte:
// the personality; then NUL-separated elements, argv[0] first): take_b_option
// removes exactly the first element starting with "-B" (and its value in the
// separate form), build_tool_argv puts tool, "--plugin" and plugin in front
// and keeps every other argument in order, zin-ar's first one gaining a '-'.
#include <cstdlib>
#include <cstring>

#include "driver/command_line.h"
#include "fuzz_input.h"

// libFuzzer's entry: one input, checked as the file's header says.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const WrapperPersonality &personality = wrapper_personalities[data[0] % 3];
    std::vector<std::string> elements = fuzz::split_at_nul(data + 1, size - 1, 64);
    std::vector<char *> argv;
    for (std::string &element : elements) {
        argv.push_back(element.data());
    }
    argv.push_back(nullptr);
    int argc = static_cast<int>(elements.size());
    const std::vector<char *> original = argv;

    // Where the option is and what it leaves, worked out from the original.
    int option = 0;
    for (int i = 1; i < argc && option == 0; ++i) {
        if (original[i][0] == '-' && original[i][1] == 'B') {
            option = i;
        }
    }
    bool separate = option != 0 && original[option][2] == '\0';
    bool missing = separate && option == argc - 1;
    std::vector<char *> kept;
    for (int i = 0; i < argc; ++i) {
        if (option == 0 || (i != option && !(separate && i == option + 1))) {
            kept.push_back(original[i]);
        }
    }

    const char *directory = nullptr;
    BOption taken = take_b_option(&argc, argv.data(), &directory);
    FUZZ_CHECK(taken == (option == 0 ? BOption::absent
                         : missing   ? BOption::missing_value
                                     : BOption::taken));
    FUZZ_CHECK(argc == static_cast<int>(kept.size()));
    FUZZ_CHECK(argv[argc] == nullptr);
    for (int i = 0; i < argc; ++i) {
        FUZZ_CHECK(argv[i] == kept[i]);
    }
    const char *value = nullptr;
    if (taken == BOption::taken) {
        value = separate ? original[option + 1] : original[option] + 2;
        std::size_t length = std::strlen(value);
        std::string wanted = value;
        if (length >= 2 && value[length - 1] != '/') {
            wanted += '/';
        }
        FUZZ_CHECK(wanted == directory);
    }
    if (taken == BOption::missing_value) {
        return 0;
    }

    const char **tool_argv = build_tool_argv(personality, argc, argv.data(), "TOOL", "PLUGIN");
    FUZZ_CHECK(std::strcmp(tool_argv[0], "TOOL") == 0);
    FUZZ_CHECK(std::strcmp(tool_argv[1], "--plugin") == 0);
    FUZZ_CHECK(std::strcmp(tool_argv[2], "PLUGIN") == 0);
    int passed = argc < 1 ? 0 : argc - 1;
    for (int i = 1; i <= passed; ++i) {
        std::string wanted = kept[i];
        if (i == 1 && personality.dash_first_argument && wanted[0] != '-') {
            wanted = "-" + wanted;
        }
        FUZZ_CHECK(wanted == tool_argv[i + 2]);
    }
    FUZZ_CHECK(tool_argv[passed + 3] == nullptr);

    if (argc >= 2 && argv[1] != kept[1]) {
        std::free(argv[1]);
    }
    if (directory != value) {
        std::free(const_cast<char *>(directory));
    }
    std::free(tool_argv);
    return 0;
}
