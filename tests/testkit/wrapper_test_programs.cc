// SPDX-License-Identifier: Apache-2.0
// The programs a test executable runs, compiled in by zin_test_programs().
#include "testkit/wrapper_test.h"

const kit::TreePrograms &kit::built_programs() {
    static const TreePrograms programs = {ZIN_TEST_ZIN_AR, ZIN_TEST_ZIN_NM, ZIN_TEST_ZIN_RANLIB,
                                          ZIN_TEST_STAND_IN_TOOL};
    return programs;
}
