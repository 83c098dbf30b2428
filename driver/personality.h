// SPDX-License-Identifier: Apache-2.0
// What distinguishes the three wrappers; everything else they share.
#pragma once

// The constants one wrapper is built with.
struct WrapperPersonality {
    const char *wrapper_name;      // the program's own name
    const char *wrapped_tool_name; // the tool it runs
    bool dash_first_argument;      // give a first argument without '-' one
};

// zin-ar, zin-nm and zin-ranlib, indexed by ZIN_PERSONALITY.
inline constexpr WrapperPersonality wrapper_personalities[] = {
    {.wrapper_name = "zin-ar", .wrapped_tool_name = "ar", .dash_first_argument = true},
    {.wrapper_name = "zin-nm", .wrapped_tool_name = "nm", .dash_first_argument = false},
    {.wrapper_name = "zin-ranlib", .wrapped_tool_name = "ranlib", .dash_first_argument = false},
};

// The one usage text, the same in all three wrappers.
inline constexpr char usage_text[] = "Usage: zin-ar [-B prefix] ar arguments ...\n";
