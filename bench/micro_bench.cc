// SPDX-License-Identifier: Apache-2.0
// The library's hot paths, each on the inputs a wrapper run gives it or on a
// harder case: the search of a long list that hits last, the relocation of a
// deep program path, the joining family, and one-shot runs of a tool.
#include <benchmark/benchmark.h>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "lookup/relocated_prefix.h"
#include "lookup/search_list.h"
#include "pex/pex_results.h"
#include "pex/pex_types.h"
#include "support/join_strings.h"
#include "testkit/files.h"
#include "testkit/scratch.h"

namespace {

// ---------------------------------------------------------------- search lists

// 100 existing directories; the file is only in the last one.
void BM_search_list_find_hit_last_of_100(benchmark::State &state) {
    std::string root = kit::process_scratch_dir() + "/find100";
    kit::make_dirs(root);
    SearchList list{};
    for (int i = 0; i < 100; ++i) {
        std::string dir = root + "/dir" + std::to_string(i);
        kit::make_dirs(dir);
        search_list_append(&list, (dir + "/").c_str());
    }
    kit::write_file(root + "/dir99/ar", "", 0755);
    for (auto _ : state) {
        char *found = search_list_find(&list, "ar", X_OK);
        if (found == nullptr) {
            state.SkipWithError("ar not found in the last entry");
            break;
        }
        benchmark::DoNotOptimize(found);
        std::free(found);
    }
}
BENCHMARK(BM_search_list_find_hit_last_of_100);

// The wrapper's own case: two installation directories, the file in the second.
void BM_search_list_find_hit_second_of_2(benchmark::State &state) {
    std::string root = kit::process_scratch_dir() + "/find2";
    kit::make_dirs(root);
    kit::make_dirs(root + "/a");
    kit::make_dirs(root + "/b");
    kit::write_file(root + "/b/libqor_plugin.so", "", 0644);
    SearchList list{};
    search_list_append(&list, (root + "/a/").c_str());
    search_list_append(&list, (root + "/b/").c_str());
    for (auto _ : state) {
        char *found = search_list_find(&list, "libqor_plugin.so", R_OK);
        if (found == nullptr) {
            state.SkipWithError("plugin not found");
            break;
        }
        std::free(found);
    }
}
BENCHMARK(BM_search_list_find_hit_second_of_2);

// Splitting a PATH of 30 entries into a fresh list (the list's memory is
// never released, as in the wrappers, so the loop runs a bounded count).
void BM_search_list_from_string_30(benchmark::State &state) {
    std::string path;
    for (int i = 0; i < 30; ++i) {
        path += (i == 0 ? "" : ":") + std::string("/opt/toolchain/some/dir") + std::to_string(i);
    }
    for (auto _ : state) {
        SearchList list{};
        search_list_from_string(path.c_str(), &list);
        benchmark::DoNotOptimize(list.head);
        for (SearchListEntry *entry = list.head; entry != nullptr;) {
            SearchListEntry *next = entry->next;
            std::free(entry->prefix);
            std::free(entry);
            entry = next;
        }
    }
}
BENCHMARK(BM_search_list_from_string_30);

// ---------------------------------------------------------------- relocation

// A program 22 directories below the scratch directory, away from the configured
// bin directory.
std::string deep_program() {
    std::string dir = kit::process_scratch_dir() + "/deep";
    kit::make_dirs(dir);
    for (int i = 0; i < 20; ++i) {
        dir += "/level" + std::to_string(i);
        kit::make_dirs(dir);
    }
    dir += "/bin";
    kit::make_dirs(dir);
    kit::write_file(dir + "/zin-ar", "", 0755);
    return dir + "/zin-ar";
}

// With symbolic links resolved, as the wrappers call it: realpath walks the path.
void BM_relocated_prefix_deep(benchmark::State &state) {
    std::string program = deep_program();
    for (auto _ : state) {
        char *dir =
            relocated_prefix(program.c_str(), "/usr/local/bin/", "/usr/local/libexec/zin13/zin/");
        if (dir == nullptr) {
            state.SkipWithError("nothing relocated");
            break;
        }
        std::free(dir);
    }
    state.SetLabel(std::to_string(program.size()) + "-byte path");
}
BENCHMARK(BM_relocated_prefix_deep);

// The same path taken as given: the component work alone, no system calls.
void BM_relocated_prefix_keep_links_deep(benchmark::State &state) {
    std::string program = deep_program();
    for (auto _ : state) {
        char *dir = relocated_prefix_keep_links(program.c_str(), "/usr/local/bin/",
                                                "/usr/local/libexec/zin13/zin/");
        if (dir == nullptr) {
            state.SkipWithError("nothing relocated");
            break;
        }
        std::free(dir);
    }
}
BENCHMARK(BM_relocated_prefix_keep_links_deep);

// ---------------------------------------------------------------- joining

// The wrapper's longest join: the target tool directory from seven pieces.
#define TOOL_DIR_PIECES                                                                            \
    "/opt/tc/bin/../lib/zin13/zin/", "aarch64-kelvane-freebsd14.4", "/", "13.4.1", "/",            \
        "../../../../../", "aarch64-kelvane-freebsd14.4", "/", "bin", nullptr

void BM_join_strings(benchmark::State &state) {
    for (auto _ : state) {
        char *joined = join_strings(TOOL_DIR_PIECES);
        benchmark::DoNotOptimize(joined);
        std::free(joined);
    }
}
BENCHMARK(BM_join_strings);

void BM_join_strings_length(benchmark::State &state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(join_strings_length(TOOL_DIR_PIECES));
    }
}
BENCHMARK(BM_join_strings_length);

void BM_join_strings_into(benchmark::State &state) {
    char buffer[256];
    for (auto _ : state) {
        benchmark::DoNotOptimize(join_strings_into(buffer, TOOL_DIR_PIECES));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_join_strings_into);

void BM_join_strings_static(benchmark::State &state) {
    char buffer[256];
    join_strings_buffer = buffer;
    for (auto _ : state) {
        benchmark::DoNotOptimize(join_strings_static(TOOL_DIR_PIECES));
        benchmark::ClobberMemory();
    }
    join_strings_buffer = nullptr;
}
BENCHMARK(BM_join_strings_static);

// Growing a string piece by piece, each step reusing the old one as a piece.
void BM_rejoin_strings(benchmark::State &state) {
    for (auto _ : state) {
        char *text = join_strings("/opt/tc", nullptr);
        text = rejoin_strings(text, text, "/libexec/", nullptr);
        text = rejoin_strings(text, text, "zin13/zin/", nullptr);
        text = rejoin_strings(text, text, "aarch64-kelvane-freebsd14.4/13.4.1/", nullptr);
        benchmark::DoNotOptimize(text);
        std::free(text);
    }
}
BENCHMARK(BM_rejoin_strings);

// ---------------------------------------------------------------- one-shot runs

// Runs `argv` through pex_run_once once per iteration; stops with an error
// when the tool does not run and exit 0.
void run_once_each_iteration(benchmark::State &state, const char *const *argv) {
    for (auto _ : state) {
        int status = -1;
        int error_number = 0;
        const char *message = pex_run_once(PEX_FINAL_STAGE | PEX_PATH_SEARCH, argv[0], argv,
                                           "zin-bench", nullptr, nullptr, &status, &error_number);
        if (message != nullptr || status != 0) {
            state.SkipWithError("the tool did not run");
            break;
        }
    }
}

// Starting and collecting a one-stage pipeline of the tool that does nothing.
void BM_pex_run_once_null_tool(benchmark::State &state) {
    const char *argv[] = {
        ZIN_BENCH_NULL_TOOL, "--plugin", "/nonexistent/libqor_plugin.so", "-rcs", "x.a", nullptr};
    run_once_each_iteration(state, argv);
}
BENCHMARK(BM_pex_run_once_null_tool)->UseRealTime()->Unit(benchmark::kMicrosecond);

// The same with the tool that needs no C library: the pipeline's own cost
// shows more clearly against a tool that starts in a few microseconds.
void BM_pex_run_once_tiny_tool(benchmark::State &state) {
    const char *argv[] = {ZIN_BENCH_RSS_TOOL, nullptr};
    run_once_each_iteration(state, argv);
}
BENCHMARK(BM_pex_run_once_tiny_tool)->UseRealTime()->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
