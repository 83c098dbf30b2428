// SPDX-License-Identifier: Apache-2.0
// What the launcher's records offer on every host: changes to the
// environment and the description of a launch.
#include <cstdio>

#include "testkit/launch.h"

namespace kit {

namespace {

// Escapes what a terminal would not show faithfully.
std::string quote(const std::string &text) {
    std::string quoted = "'";
    for (unsigned char c : text) {
        if (c == '\n') {
            quoted += "\\n";
        } else if (c == '\'') {
            quoted += "'\\''";
        } else if (c < 0x20 || c >= 0x7f) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            quoted += hex;
        } else {
            quoted += static_cast<char>(c);
        }
    }
    if (quoted.size() > 300) {
        quoted = quoted.substr(0, 200) + "...(" + std::to_string(text.size()) + " bytes)";
    }
    return quoted + "'";
}

} // namespace

void set_env(Launch &launch, const std::string &name, const std::string &value) {
    launch.env.push_back({name, value});
}

void unset_env(Launch &launch, const std::string &name) {
    launch.env.push_back({name, std::nullopt});
}

std::string describe(const Launch &launch) {
    std::string text = "command: cd " + quote(launch.cwd.empty() ? "." : launch.cwd) + " && env";
    for (const EnvChange &change : launch.env) {
        text +=
            change.value ? " " + change.name + "=" + quote(*change.value) : " -u " + change.name;
    }
    text += " execve " + quote(launch.executable) + " argv[" + std::to_string(launch.argv.size()) +
            "]:";
    for (const std::string &element : launch.argv) {
        text += " " + quote(element);
    }
    return text;
}

} // namespace kit
