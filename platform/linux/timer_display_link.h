#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/display_link.h"

namespace glidewheel::platform::linuxdesktop {

// The refresh rate a link runs at: the screen's rate, kept within 30…360 Hz, or 60 Hz when the
// screen's rate is unknown (zero, negative or NaN).
double clampedRefreshRateHz(double reportedHz);

// The next absolute deadline (CLOCK_MONOTONIC ns) after `previousNs`. When the frame ran late,
// the missed refreshes are skipped: the result is the first whole period after `nowNs`, never a
// burst of catch-up frames.
std::int64_t nextDeadlineNs(std::int64_t previousNs, std::int64_t nowNs, std::int64_t periodNs);

// A display link driven by one thread of its own that sleeps to absolute deadlines one refresh
// period apart while running and waits on a condition variable, without wakeups, while stopped.
// The thread blocks every signal, so signals go to the program's other threads.
class TimerDisplayLink final : public DisplayLink {
public:
    // Throws std::system_error when the thread cannot be started.
    explicit TimerDisplayLink(double refreshRateHz);
    ~TimerDisplayLink() override;

    TimerDisplayLink(const TimerDisplayLink&) = delete;
    TimerDisplayLink& operator=(const TimerDisplayLink&) = delete;

    void setOutputCallback(DisplayLinkOutputCallback callback, void* userContext) override;
    bool isRunning() const override;
    void start() override;
    void stop() override;

    std::int64_t periodNs() const { return periodNs_; }

private:
    void run();

    const std::int64_t periodNs_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    DisplayLinkOutputCallback callback_ = nullptr;
    void* userContext_ = nullptr;
    bool running_ = false;
    bool inCallback_ = false;
    bool quit_ = false;
    std::uint64_t frames_ = 0;
    std::thread thread_;  // last: starts once everything above is set up
};

// Makes timer-driven links at the primary screen's refresh rate, read once per link.
class TimerDisplayLinkService final : public DisplayLinkService {
public:
    explicit TimerDisplayLinkService(std::function<double()> primaryRefreshRateHz);

    // Null when the link's thread cannot be started.
    std::unique_ptr<DisplayLink> createWithActiveDisplays() override;

private:
    std::function<double()> primaryRefreshRateHz_;
};

}  // namespace glidewheel::platform::linuxdesktop
