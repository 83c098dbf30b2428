// Waiting for the started stages not yet waited for.
#include "pex/pex_stage.h"
#include "support/checked_alloc.h"

int pex_collect_statuses(Pipeline *pipeline, int terminate_first, const char **error_message,
                         int *error_number) {
    if (pipeline->waited_count == pipeline->stage_count)
        return 1;
    std::size_t count = static_cast<std::size_t>(pipeline->stage_count);
    pipeline->statuses = static_cast<std::int32_t *>(
        checked_realloc(pipeline->statuses, count * sizeof(std::int32_t)));
    // Times are kept only while PEX_INIT_TIMES is set; pex_release clears it, and
    // an array from an earlier collection is then too short to index.
    bool keep_times = (pipeline->flags & PEX_INIT_TIMES) != 0;
    if (keep_times)
        pipeline->times = static_cast<PexStageTimes *>(
            checked_realloc(pipeline->times, count * sizeof(PexStageTimes)));
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
                                          error_number) < 0)
            all_waited = 0;
    }
    pipeline->waited_count = pipeline->stage_count;
    return all_waited;
}
