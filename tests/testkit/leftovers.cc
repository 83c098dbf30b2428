// SPDX-License-Identifier: Apache-2.0
#include "testkit/leftovers.h"

#include <algorithm>
#include <iterator>

#include "testkit/files.h"
#include "testkit/leftovers_internal.h"

namespace kit {

namespace {

std::vector<int> missing_from(const std::set<int> &a, const std::set<int> &b) {
    std::vector<int> result;
    std::set_difference(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(result));
    return result;
}

} // namespace

Snapshot take_snapshot(const std::vector<std::string> &directories) {
    Snapshot snapshot;
    snapshot.reaper = become_reaper();
    snapshot.directories = directories;
    for (const std::string &directory : directories) {
        snapshot.entries.push_back(entries(directory));
    }
    snapshot.descriptors = open_descriptors();
    return snapshot;
}

Leftovers take_leftovers(const Snapshot &before, int wait_ms) {
    Leftovers left;
    take_descendants(wait_ms, &left);
    for (std::size_t i = 0; i < before.directories.size(); ++i) {
        for (const std::string &name : entries(before.directories[i])) {
            if (before.entries[i].count(name) == 0) {
                left.files.push_back(before.directories[i] + "/" + name);
                remove_tree(left.files.back());
            }
        }
    }
    std::set<int> now = open_descriptors();
    left.opened = missing_from(now, before.descriptors);
    left.closed = missing_from(before.descriptors, now);
    return left;
}

std::string describe(const Leftovers &left) {
    std::string text;
    auto line = [&](const char *what, const std::vector<int> &numbers) {
        if (!numbers.empty()) {
            text += what;
            for (int number : numbers) {
                text += " " + std::to_string(number);
            }
            text += "\n";
        }
    };
    line("descriptors left open:", left.opened);
    line("descriptors closed that were open before:", left.closed);
    line("processes left, raw wait statuses:", left.statuses);
    if (left.killed != 0) {
        text += std::to_string(left.killed) + " of them still running, killed\n";
    }
    for (const std::string &file : left.files) {
        text += "file left: " + file + "\n";
    }
    return text;
}

std::string left_behind(const Snapshot &before) {
    return describe(take_leftovers(before));
}

} // namespace kit
