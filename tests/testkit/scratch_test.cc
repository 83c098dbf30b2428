// SPDX-License-Identifier: Apache-2.0
#include "testkit/scratch_test.h"

#include "testkit/files.h"
#include "testkit/scratch.h"

namespace kit {

void ScratchTest::SetUp() {
    scratch_ = make_scratch_dir();
    ASSERT_FALSE(scratch_.empty());
}

void ScratchTest::TearDown() {
    if (!HasFailure()) {
        remove_tree(scratch_);
    }
}

} // namespace kit
