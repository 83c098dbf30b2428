// SPDX-License-Identifier: Apache-2.0
#include "fuzz_input.h"

#include <cstdio>
#include <cstdlib>

namespace fuzz {

void fail(const char *property) {
    std::fprintf(stderr, "property broken: %s\n", property);
    std::abort();
}

} // namespace fuzz
