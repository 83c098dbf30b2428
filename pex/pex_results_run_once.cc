// SPDX-License-Identifier: Apache-2.0
// Running one program through a temporary pipeline.
#include "pex/pex_results.h"
#include "pex/pex_stage.h"

const char *pex_run_once(unsigned flags, const char *executable, const char *const *argv,
                         const char *program_name, const char *outname, const char *errname,
                         int *status, int *error_number) {
    Pipeline *pipeline = pex_create(0, program_name, nullptr);
    const char *message =
        pex_run_stage(pipeline, flags, executable, argv, outname, errname, error_number);
    if (message == nullptr && pex_get_status(pipeline, 1, status) == 0) {
        *error_number = 0;
        message = "pex_get_status failed";
    }
    pex_release(pipeline);
    return message;
}
