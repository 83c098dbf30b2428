// SPDX-License-Identifier: Apache-2.0
// Reading the collected wait statuses and CPU times.
#include "pex/pex_results.h"

#include <cstring>

#include "pex/pex_stage.h"

namespace {

// Waits for every stage started since the last collection; 0 when a wait failed.
int bring_up_to_date(Pipeline *pipeline) {
    if (pipeline->waited_count == pipeline->stage_count) {
        return 1;
    }
    const char *message = nullptr;
    int error_number = 0;
    return pex_collect_statuses(pipeline, 0, &message, &error_number);
}

// Copies the first `count` of `collected` records, zero-filling past them.
template <typename Record>
void copy_records(const Record *records, int collected, int count, Record *out) {
    if (count <= 0) {
        return;
    }
    int copied = count < collected ? count : collected;
    if (copied > 0) {
        std::memcpy(out, records, static_cast<std::size_t>(copied) * sizeof(Record));
    }
    for (int i = copied; i < count; ++i) {
        out[i] = Record{};
    }
}

} // namespace

int pex_get_status(Pipeline *pipeline, int count, int *statuses_out) {
    if (bring_up_to_date(pipeline) == 0) {
        return 0;
    }
    copy_records<int>(pipeline->statuses, pipeline->waited_count, count, statuses_out);
    return 1;
}

int pex_get_stage_times(Pipeline *pipeline, int count, PexStageTimes *times_out) {
    if (bring_up_to_date(pipeline) == 0) {
        return 0;
    }
    if (pipeline->times == nullptr) {
        return 0;
    }
    copy_records(pipeline->times, pipeline->waited_count, count, times_out);
    return 1;
}
