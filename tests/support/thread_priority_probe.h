// SPDX-License-Identifier: MIT

#pragma once

// Whether this machine lets the program raise its threads, for the tests that check they are.

#include <unistd.h>

#include <string>
#include <thread>

#include "platform/linux/base/thread_priority.h"

namespace glidewheel::testing {

// Why no thread of this process can be raised to `nice` here, empty when one can: a scratch
// thread asks, as the program's threads do.
inline std::string whyNoThreadCanBeRaised(int nice) {
    std::string why;
    std::thread([&] { why = platform::linuxdesktop::raiseThreadPriority(gettid(), nice); }).join();
    return why;
}

}  // namespace glidewheel::testing
