// SPDX-License-Identifier: MIT

#include "engine/scroll_acceleration.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace glidewheel {

using namespace acceleration;

namespace {

double perSecond(std::chrono::nanoseconds interval) {
    return 1.0 / std::chrono::duration<double>(interval).count();
}

}  // namespace

double accelerationMultiplier(std::chrono::nanoseconds interval, double setting) {
    const double strength = std::isnan(setting) ? 0.0 : std::clamp(setting, 0.0, 1.0);
    if (strength == 0.0 || interval >= kSlowInterval) return 1.0;
    if (interval <= kFastInterval) return 1.0 + strength * (kLargestMultiplier - 1.0);
    const double slow = perSecond(kSlowInterval);
    const double place = (perSecond(interval) - slow) / (perSecond(kFastInterval) - slow);
    const double eased = place * place * (3.0 - 2.0 * place);
    return 1.0 + strength * (kLargestMultiplier - 1.0) * eased;
}

std::optional<std::chrono::nanoseconds> NotchPace::add(std::chrono::nanoseconds time,
                                                       NotchDirection direction) {
    const std::chrono::nanoseconds interval = time - lastTime_;
    const bool continues = count_ > 0 && direction == lastDirection_ &&
                           interval > std::chrono::nanoseconds::zero() && interval < kSlowInterval;
    lastTime_ = time;
    lastDirection_ = direction;
    if (!continues) {
        count_ = 1;
        return std::nullopt;
    }
    intervals_[(count_ - 1) % kPaceWindow] = interval;
    ++count_;
    const std::size_t known = std::min(count_ - 1, kPaceWindow);
    return std::accumulate(intervals_.begin(), intervals_.begin() + known,
                           std::chrono::nanoseconds::zero()) /
           known;
}

double ScrollAcceleration::notchMultiple(std::chrono::nanoseconds time, NotchDirection direction,
                                         double setting) {
    const std::optional<std::chrono::nanoseconds> pace = pace_.add(time, direction);
    if (!pace) {
        owed_ = 0.0;
        return 1.0;
    }
    owed_ += accelerationMultiplier(*pace, setting) - 1.0;
    const double extra = std::floor(owed_);
    owed_ -= extra;
    return 1.0 + extra;
}

void ScrollAcceleration::reset() {
    pace_.reset();
    owed_ = 0.0;
}

}  // namespace glidewheel
