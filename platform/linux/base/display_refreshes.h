// SPDX-License-Identifier: MIT

#pragma once

#include <cstdint>
#include <mutex>

namespace glidewheel::platform::linuxdesktop {

// When the display last refreshed and how far apart its refreshes are (CLOCK_MONOTONIC ns), as
// the display link saw them: what lets scroll posted outside the link's frames land in the
// refreshes the link's own frames land in, also after the link has stopped.
struct Refreshes {
    std::int64_t lastNs = 0;
    std::int64_t periodNs = 16'666'667;  // 60 Hz until a link has run
};

// The display link's thread publishes each frame here before running it; any thread reads.
class DisplayRefreshes {
public:
    void publish(std::int64_t frameNs, std::int64_t periodNs) {
        if (periodNs <= 0) return;
        std::scoped_lock guard(mutex_);
        last_ = {frameNs, periodNs};
    }
    Refreshes last() const {
        std::scoped_lock guard(mutex_);
        return last_;
    }

private:
    mutable std::mutex mutex_;
    Refreshes last_;
};

}  // namespace glidewheel::platform::linuxdesktop
