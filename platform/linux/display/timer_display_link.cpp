// SPDX-License-Identifier: MIT

#include "platform/linux/display/timer_display_link.h"

#include <pthread.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <string>
#include <thread>
#include <utility>

#include "platform/linux/base/thread_priority.h"

namespace glidewheel::platform::linuxdesktop {
namespace {

constexpr double kMinimumRateHz = 30.0;
constexpr double kMaximumRateHz = 360.0;
constexpr double kFallbackRateHz = 60.0;
constexpr std::int64_t kNanosecondsPerSecond = 1'000'000'000;

void sleepUntil(std::int64_t deadlineNs) {
    const timespec deadline{static_cast<time_t>(deadlineNs / kNanosecondsPerSecond),
                            static_cast<long>(deadlineNs % kNanosecondsPerSecond)};
    // An absolute deadline makes a signal-interrupted sleep resumable as it stands.
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR) {
    }
}

}  // namespace

std::int64_t monotonicNowNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return std::int64_t{now.tv_sec} * kNanosecondsPerSecond + now.tv_nsec;
}

// The new thread inherits the mask of the thread creating it, which gets its own mask back
// straight after.
void launchWithSignalsBlocked(DisplayLinkThread& thread, std::function<void()> body) {
    sigset_t all;
    sigfillset(&all);
    sigset_t previous;
    pthread_sigmask(SIG_SETMASK, &all, &previous);
    try {
        thread.launch([body = std::move(body)] {
            // Raised as the input thread is, by a request that the frames need not wait for.
            const std::jthread raising = raiseOnTheMousePath(gettid(), "display link");
            body();
        });
    } catch (...) {
        pthread_sigmask(SIG_SETMASK, &previous, nullptr);
        throw;
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

double clampedRefreshRateHz(double reportedHz) {
    if (!(reportedHz > 0.0)) return kFallbackRateHz;  // also NaN
    return std::clamp(reportedHz, kMinimumRateHz, kMaximumRateHz);
}

std::int64_t nextDeadlineNs(std::int64_t previousNs, std::int64_t nowNs, std::int64_t periodNs) {
    const std::int64_t next = previousNs + periodNs;
    if (next > nowNs) return next;
    const std::int64_t missed = (nowNs - next) / periodNs + 1;
    return next + missed * periodNs;
}

TimerDisplayLink::TimerDisplayLink(double refreshRateHz, DisplayRefreshes* refreshes)
    : periodNs_(std::llround(kNanosecondsPerSecond / clampedRefreshRateHz(refreshRateHz))),
      refreshes_(refreshes) {
    launchWithSignalsBlocked(thread_, [this] { run(); });
}

TimerDisplayLink::~TimerDisplayLink() { thread_.shutDown(); }

void TimerDisplayLink::run() {
    while (thread_.waitUntilRunning()) {
        // The first frame after a start comes one period later, as the next refresh would.
        for (std::int64_t deadline = monotonicNowNs() + periodNs_;;
             deadline = nextDeadlineNs(deadline, monotonicNowNs(), periodNs_)) {
            sleepUntil(deadline);
            if (refreshes_ != nullptr) refreshes_->publish(deadline, periodNs_);
            if (!thread_.post(monotonicNowNs(), deadline + periodNs_)) break;  // stopped: park
        }
    }
}

}  // namespace glidewheel::platform::linuxdesktop
