#include "platform/linux/timer_display_link.h"

#include <pthread.h>
#include <signal.h>
#include <time.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <system_error>

namespace glidewheel::platform::linuxdesktop {
namespace {

constexpr double kMinimumRateHz = 30.0;
constexpr double kMaximumRateHz = 360.0;
constexpr double kFallbackRateHz = 60.0;
constexpr std::int64_t kNanosecondsPerSecond = 1'000'000'000;

std::int64_t monotonicNowNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return std::int64_t{now.tv_sec} * kNanosecondsPerSecond + now.tv_nsec;
}

void sleepUntil(std::int64_t deadlineNs) {
    const timespec deadline{static_cast<time_t>(deadlineNs / kNanosecondsPerSecond),
                            static_cast<long>(deadlineNs % kNanosecondsPerSecond)};
    // An absolute deadline makes a signal-interrupted sleep resumable as it stands.
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR) {
    }
}

// Starts a thread with every signal blocked: it inherits the mask of the thread creating it,
// which gets its own mask back straight after.
std::thread startWithSignalsBlocked(std::function<void()> body) {
    sigset_t all;
    sigfillset(&all);
    sigset_t previous;
    pthread_sigmask(SIG_SETMASK, &all, &previous);
    try {
        std::thread thread(std::move(body));
        pthread_sigmask(SIG_SETMASK, &previous, nullptr);
        return thread;
    } catch (...) {
        pthread_sigmask(SIG_SETMASK, &previous, nullptr);
        throw;
    }
}

}  // namespace

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

TimerDisplayLink::TimerDisplayLink(double refreshRateHz)
    : periodNs_(std::llround(kNanosecondsPerSecond / clampedRefreshRateHz(refreshRateHz))),
      thread_(startWithSignalsBlocked([this] { run(); })) {}

TimerDisplayLink::~TimerDisplayLink() {
    {
        std::scoped_lock lock(mutex_);
        quit_ = true;
        running_ = false;
    }
    changed_.notify_all();
    thread_.join();
}

void TimerDisplayLink::setOutputCallback(DisplayLinkOutputCallback callback, void* userContext) {
    std::scoped_lock lock(mutex_);
    callback_ = callback;
    userContext_ = userContext;
}

bool TimerDisplayLink::isRunning() const {
    std::scoped_lock lock(mutex_);
    return running_;
}

void TimerDisplayLink::start() {
    {
        std::scoped_lock lock(mutex_);
        running_ = true;
    }
    changed_.notify_all();
}

void TimerDisplayLink::stop() {
    std::unique_lock lock(mutex_);
    running_ = false;
    // The link's own thread is the one running the callback: it cannot wait for itself.
    if (std::this_thread::get_id() != thread_.get_id()) {
        changed_.wait(lock, [this] { return !inCallback_; });
    }
}

void TimerDisplayLink::run() {
    std::unique_lock lock(mutex_);
    std::int64_t deadline = 0;
    for (;;) {
        if (!running_ || callback_ == nullptr) {
            changed_.wait(lock, [this] { return quit_ || (running_ && callback_ != nullptr); });
            // The first frame after a start comes one period later, as the next refresh would.
            deadline = monotonicNowNs() + periodNs_;
        }
        if (quit_) return;

        lock.unlock();
        sleepUntil(deadline);
        lock.lock();
        if (quit_) return;
        if (!running_ || callback_ == nullptr) continue;  // stopped during the sleep: park

        const auto callback = callback_;
        void* const context = userContext_;
        const DisplayTimeStamp now{monotonicNowNs(), ++frames_};
        const DisplayTimeStamp output{deadline + periodNs_, frames_ + 1};
        inCallback_ = true;
        lock.unlock();
        std::uint64_t flagsOut = 0;
        callback(this, &now, &output, 0, &flagsOut, context);
        lock.lock();
        inCallback_ = false;
        changed_.notify_all();

        deadline = nextDeadlineNs(deadline, monotonicNowNs(), periodNs_);
    }
}

TimerDisplayLinkService::TimerDisplayLinkService(std::function<double()> primaryRefreshRateHz)
    : primaryRefreshRateHz_(std::move(primaryRefreshRateHz)) {}

std::unique_ptr<DisplayLink> TimerDisplayLinkService::createWithActiveDisplays() {
    const double rate = primaryRefreshRateHz_ ? primaryRefreshRateHz_() : 0.0;
    try {
        return std::make_unique<TimerDisplayLink>(rate);
    } catch (const std::system_error&) {
        return nullptr;
    }
}

}  // namespace glidewheel::platform::linuxdesktop
