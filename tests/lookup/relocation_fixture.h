// SPDX-License-Identifier: Apache-2.0
// Shared fixture of the relocation tests: the configured directories, result
// helpers, and a scratch directory with PATH and the working directory restored.
#pragma once

#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <optional>
#include <string>

#include "lookup/program_path.h"
#include "lookup/relocated_prefix.h"
#include "testkit/files.h"
#include "testkit/scratch_test.h"

// The configured directories of the wrappers.
inline constexpr const char *bin_dir = "/usr/local/bin/";
inline constexpr const char *lib_dir = "/usr/local/lib/zin13/zin/";
inline constexpr const char *libexec_dir = "/usr/local/libexec/zin13/zin/";

// A relocation result as text, nullopt for null; frees the result.
inline std::optional<std::string> take(char *result) {
    if (result == nullptr) {
        return std::nullopt;
    }
    std::string text = result;
    std::free(result);
    return text;
}

// relocate_directory as text.
inline std::optional<std::string> relocate(const char *program, const char *bin = bin_dir,
                                           const char *target = lib_dir) {
    return take(relocate_directory(program, bin, target));
}

// relocated_prefix as text.
inline std::optional<std::string> relocated(const char *program, const char *bin = bin_dir,
                                            const char *target = lib_dir) {
    return take(relocated_prefix(program, bin, target));
}

// relocated_prefix_keep_links as text.
inline std::optional<std::string> kept(const char *program, const char *bin = bin_dir,
                                       const char *target = lib_dir) {
    return take(relocated_prefix_keep_links(program, bin, target));
}

// resolve_program_path as text.
inline std::optional<std::string> resolve(const char *program) {
    return take(resolve_program_path(program));
}

// Saves and restores PATH and the working directory around every case.
class RelocatedPrefixTest : public kit::ScratchTest {
  protected:
    void SetUp() override {
        const char *path = std::getenv("PATH");
        if (path != nullptr) {
            saved_path = path;
        }
        char *cwd = getcwd(nullptr, 0);
        ASSERT_NE(cwd, nullptr);
        saved_cwd = cwd;
        std::free(cwd);
        ScratchTest::SetUp();
    }
    void TearDown() override {
        if (saved_path) {
            setenv("PATH", saved_path->c_str(), 1);
        } else {
            unsetenv("PATH");
        }
        EXPECT_EQ(chdir(saved_cwd.c_str()), 0);
        ScratchTest::TearDown();
    }

    // An executable "zin-ar" in the new scratch directory `dir`.
    void install_program(const std::string &dir) {
        ASSERT_TRUE(kit::make_dirs(at(dir)));
        ASSERT_TRUE(kit::write_file(at(dir + "/zin-ar"), "", 0755));
    }

    // The library directory relocated for a program found in scratch directory `dir`.
    std::string relocated_from(const std::string &dir) const {
        return at(dir) + "/../lib/zin13/zin/";
    }

    std::optional<std::string> saved_path;
    std::string saved_cwd;
};

// A PATH value "<filler>:<dir>" whose candidate buffer for "zin-ar" is `size`
// bytes (value length + name length + 2).
inline std::string path_of_buffer_size(const std::string &dir, std::size_t size) {
    std::size_t value_length = size - 2 - std::strlen("zin-ar");
    std::string filler = "/nonexistent/";
    filler.append(value_length - 1 - dir.size() - filler.size(), 'x');
    return filler + ":" + dir;
}
