// SPDX-License-Identifier: MIT

#include "platform/linux/input/rate_limited_log.h"

#include <cstdio>
#include <mutex>

namespace glidewheel::platform::linuxdesktop {

RateLimit::Verdict RateLimit::check(Clock::time_point now) {
    if (!started_ || now - windowStart_ >= interval_) {
        started_ = true;
        windowStart_ = now;
        count_ = 0;
    }
    ++count_;
    if (count_ < burst_) return Verdict::pass;
    if (count_ == burst_) return Verdict::passLast;
    return Verdict::suppress;
}

void logRateLimited(RateLimit& limit, std::string_view message, std::string_view heldBack) {
    const RateLimit::Verdict verdict = limit.check(RateLimit::Clock::now());
    if (verdict == RateLimit::Verdict::suppress) return;
    std::fprintf(stderr, "glidewheel: %.*s\n", static_cast<int>(message.size()), message.data());
    if (verdict == RateLimit::Verdict::passLast) {
        std::fprintf(stderr, "glidewheel: %.*s\n", static_cast<int>(heldBack.size()),
                     heldBack.data());
    }
}

void logInputProblem(std::string_view message) {
    static std::mutex mutex;
    static RateLimit limit(10, std::chrono::minutes(1));
    std::scoped_lock guard(mutex);
    logRateLimited(limit, message, "input messages suppressed for a minute");
}

}  // namespace glidewheel::platform::linuxdesktop
