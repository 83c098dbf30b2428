// SPDX-License-Identifier: Apache-2.0
// Entry of zin-ar, zin-nm and zin-ranlib: one source, built once per wrapper
// with ZIN_PERSONALITY indexing wrapper_personalities.
#include "driver/driver_platform.h"
#include "driver/personality.h"
#include "driver/wrapper_main.h"

#ifndef ZIN_PERSONALITY
#error "ZIN_PERSONALITY must select the wrapper: 0 zin-ar, 1 zin-nm, 2 zin-ranlib"
#endif

static_assert(ZIN_PERSONALITY >= 0 &&
                  ZIN_PERSONALITY < sizeof wrapper_personalities / sizeof wrapper_personalities[0],
              "ZIN_PERSONALITY is out of range");

#if defined(__SANITIZE_ADDRESS__)
#define ZIN_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZIN_ADDRESS_SANITIZER 1
#endif
#endif

#ifdef ZIN_ADDRESS_SANITIZER
// Sanitizer builds only: the wrappers free nothing on purpose, since the
// process ends right after the tool, so leak reports would be noise.
extern "C" __attribute__((used)) const char *__asan_default_options() {
    return "detect_leaks=0";
}
#endif

// The process's exit status is the run's.
int main(int argc, char **argv) {
    const WrapperPersonality &personality = wrapper_personalities[ZIN_PERSONALITY];
    if (!driver_utf8_arguments(personality.wrapper_name, &argc, &argv)) {
        return 1;
    }
    return wrapper_main(personality, argc, argv);
}
