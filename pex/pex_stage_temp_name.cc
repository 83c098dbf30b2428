// SPDX-License-Identifier: Apache-2.0
// Names of temporary files and the list of files removed at release.
#include <cstdlib>
#include <cstring>

#include "pex/pex_stage.h"
#include "pex/pex_stage_internal.h"
#include "support/checked_alloc.h"
#include "support/join_strings.h"
#include "support/support_platform.h"
#include "support/temp_file.h"

namespace {

// The six characters platform_make_temp_file replaces.
constexpr char placeholder[] = "XXXXXX";
constexpr std::size_t placeholder_length = sizeof placeholder - 1;

// A new file named after `temp_base`, its trailing placeholder filled in.
char *temp_name_from_base(const char *temp_base) {
    std::size_t length = std::strlen(temp_base);
    char *name_template;
    if (length >= placeholder_length &&
        std::strcmp(temp_base + length - placeholder_length, placeholder) == 0) {
        name_template = checked_strdup(temp_base);
    } else {
        name_template = join_strings(temp_base, placeholder, nullptr);
    }
    int fd = platform_make_temp_file(name_template, 0);
    if (fd < 0) {
        std::free(name_template);
        return nullptr;
    }
    platform_close(fd);
    return name_template;
}

} // namespace

char *pex_temp_name(Pipeline *pipeline, unsigned flags, const char *name) {
    if (name != nullptr) {
        if ((flags & PEX_NAME_IS_SUFFIX) == 0) {
            return const_cast<char *>(name); // the caller keeps ownership
        }
        if (pipeline->temp_base != nullptr) {
            return join_strings(pipeline->temp_base, name, nullptr);
        }
        return create_temp_file(name);
    }
    if (pipeline->temp_base == nullptr) {
        return create_temp_file(nullptr);
    }
    return temp_name_from_base(pipeline->temp_base);
}

void pex_add_temp_file(Pipeline *pipeline, char *name) {
    std::size_t count = static_cast<std::size_t>(pipeline->temp_file_count) + 1;
    pipeline->temp_files =
        static_cast<char **>(checked_realloc(pipeline->temp_files, count * sizeof(char *)));
    pipeline->temp_files[count - 1] = name;
    pipeline->temp_file_count = static_cast<std::int32_t>(count);
}
