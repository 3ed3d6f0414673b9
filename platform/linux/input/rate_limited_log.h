// SPDX-License-Identifier: MIT

#pragma once

#include <chrono>
#include <string_view>

namespace glidewheel::platform::linuxdesktop {

// Lets at most `burst` messages through per interval; the one that hits the limit is marked
// so the log can say that more are being held back.
class RateLimit {
public:
    using Clock = std::chrono::steady_clock;
    enum class Verdict { pass, passLast, suppress };

    RateLimit(int burst, Clock::duration interval) : burst_(burst), interval_(interval) {}

    Verdict check(Clock::time_point now);

private:
    int burst_;
    Clock::duration interval_;
    Clock::time_point windowStart_{};
    int count_ = 0;
    bool started_ = false;
};

// Writes "glidewheel: <message>" to standard error as `limit` lets it, and once it starts
// holding messages back, "glidewheel: <heldBack>". Any thread; the caller guards the limit.
void logRateLimited(RateLimit& limit, std::string_view message, std::string_view heldBack);

// Writes "glidewheel: <message>" to standard error, rate-limited across the input backend.
// Any thread.
void logInputProblem(std::string_view message);

}  // namespace glidewheel::platform::linuxdesktop
