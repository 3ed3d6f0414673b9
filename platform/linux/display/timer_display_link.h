// SPDX-License-Identifier: MIT

#pragma once

#include <cstdint>
#include <functional>

#include "platform/display_link.h"
#include "platform/display_link_thread.h"
#include "platform/linux/base/display_refreshes.h"

namespace glidewheel::platform::linuxdesktop {

// The refresh rate a link runs at: the screen's rate, kept within 30…360 Hz, or 60 Hz when the
// screen's rate is unknown (zero, negative or NaN).
double clampedRefreshRateHz(double reportedHz);

// Now, on CLOCK_MONOTONIC, in ns: the clock of display time stamps.
std::int64_t monotonicNowNs();

// The next absolute deadline (CLOCK_MONOTONIC ns) after `previousNs`. When the frame ran late,
// the missed refreshes are skipped: the result is the first whole period after `nowNs`, never a
// burst of catch-up frames.
std::int64_t nextDeadlineNs(std::int64_t previousNs, std::int64_t nowNs, std::int64_t periodNs);

// Starts a display link's thread with every signal blocked, so that signals go to the program's
// other threads, and raised to the input thread's priority where the system lets it
// (raiseThreadPriority).
void launchWithSignalsBlocked(DisplayLinkThread& thread, std::function<void()> body);

// A display link driven by one thread of its own that sleeps to absolute deadlines one refresh
// period apart while running, the first one period after start(), and parks without wakeups
// while stopped.
class TimerDisplayLink final : public ThreadDrivenDisplayLink {
public:
    // Publishes each frame to `refreshes` unless null; it must outlive the link.
    // Throws std::system_error when the thread cannot be started.
    explicit TimerDisplayLink(double refreshRateHz, DisplayRefreshes* refreshes = nullptr);
    ~TimerDisplayLink() override;

    TimerDisplayLink(const TimerDisplayLink&) = delete;
    TimerDisplayLink& operator=(const TimerDisplayLink&) = delete;

    std::int64_t periodNs() const { return periodNs_; }

private:
    void run();

    const std::int64_t periodNs_;
    DisplayRefreshes* const refreshes_;
};

}  // namespace glidewheel::platform::linuxdesktop
