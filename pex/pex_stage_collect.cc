// SPDX-License-Identifier: Apache-2.0
// Waiting for the started stages not yet waited for.
#include <cstdlib>

#include "pex/pex_stage.h"
#include "support/checked_alloc.h"

namespace {

// realloc(block, size) as checked_realloc does it, except that when memory
// runs out the stages still running are waited for before the program ends:
// none may outlive the caller unwaited, still writing its output.
void *grow_or_end(Pipeline *pipeline, void *block, std::size_t size, int terminate_first) {
    if (size == 0) {
        size = 1;
    }
    void *grown = block == nullptr ? std::malloc(size) : std::realloc(block, size);
    if (grown != nullptr) {
        return grown;
    }
    for (std::int32_t i = pipeline->waited_count; i < pipeline->stage_count; ++i) {
        int status = 0;
        const char *message = nullptr;
        int error_number = 0;
        pipeline->backend->wait_child(pipeline, pipeline->child_pids[i], &status, nullptr,
                                      terminate_first, &message, &error_number);
    }
    pipeline->waited_count = pipeline->stage_count;
    report_alloc_failure(size);
}

} // namespace

int pex_collect_statuses(Pipeline *pipeline, int terminate_first, const char **error_message,
                         int *error_number) {
    if (pipeline->waited_count == pipeline->stage_count) {
        return 1;
    }
    std::size_t count = static_cast<std::size_t>(pipeline->stage_count);
    pipeline->statuses = static_cast<std::int32_t *>(
        grow_or_end(pipeline, pipeline->statuses, count * sizeof(std::int32_t), terminate_first));
    // Times are kept only while PEX_INIT_TIMES is set; pex_release clears it, and
    // an array from an earlier collection is then too short to index.
    bool keep_times = (pipeline->flags & PEX_INIT_TIMES) != 0;
    if (keep_times) {
        pipeline->times = static_cast<PexStageTimes *>(
            grow_or_end(pipeline, pipeline->times, count * sizeof(PexStageTimes), terminate_first));
    }
    int all_waited = 1;
    for (std::size_t i = static_cast<std::size_t>(pipeline->waited_count); i < count; ++i) {
        // A failed wait leaves a defined zero rather than old heap contents.
        pipeline->statuses[i] = 0;
        PexStageTimes *stage_times = nullptr;
        if (keep_times) {
            stage_times = &pipeline->times[i];
            *stage_times = PexStageTimes{0, 0, 0, 0};
        }
        if (pipeline->backend->wait_child(pipeline, pipeline->child_pids[i], &pipeline->statuses[i],
                                          stage_times, terminate_first, error_message,
                                          error_number) < 0) {
            all_waited = 0;
        }
    }
    pipeline->waited_count = pipeline->stage_count;
    return all_waited;
}
