// SPDX-License-Identifier: MIT

#include "platform/services.h"

#include <cstdio>
#include <cstdlib>

namespace glidewheel::platform {

namespace {
Services installed;
bool isInstalled = false;
}  // namespace

void install(const Services& services) {
    installed = services;
    isInstalled = true;
}

const Services& services() {
    if (!isInstalled) {
        std::fputs("glidewheel: no platform backend installed\n", stderr);
        std::abort();
    }
    return installed;
}

}  // namespace glidewheel::platform
