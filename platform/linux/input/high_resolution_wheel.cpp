#include "platform/linux/input/high_resolution_wheel.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace glidewheel::platform::linuxdesktop {

HighResolutionWheel::Codes HighResolutionWheel::post(double points, Clock::time_point now) {
    if (std::isnan(points)) return {};
    const double exact = points * kUnitsPerPoint + remainder_;
    const double rounded = std::round(exact);
    int units;
    if (std::fabs(rounded) > kMaxUnitsPerPost) {
        units = rounded > 0 ? kMaxUnitsPerPost : -kMaxUnitsPerPost;
        remainder_ = 0.0;
    } else {
        units = static_cast<int>(rounded);
        remainder_ = exact - rounded;
    }
    if (units == 0) return {};

    const int direction = units > 0 ? 1 : -1;
    if (startsNewScroll(direction, now)) {
        lead_ = 0;
        if (std::abs(units) < kReleaseThreshold) {
            lead_ = direction * kReleaseThreshold - units;
            units = direction * kReleaseThreshold;
        }
    } else if (lead_ != 0) {
        // Pay back half of this post (rounded up), never more than is owed.
        const int payment = direction * std::min((std::abs(units) + 1) / 2, std::abs(lead_));
        units -= payment;
        lead_ -= payment;
    }
    if (units == 0) return {};

    direction_ = direction;
    lastSent_ = now;
    return Codes{units, legacyDetents(units)};
}

bool HighResolutionWheel::startsNewScroll(int direction, Clock::time_point now) const {
    return direction_ == 0 || direction != direction_ || now - lastSent_ >= kScrollTimeout;
}

int HighResolutionWheel::legacyDetents(int units) {
    legacyUnits_ += units;
    const int detents = legacyUnits_ / kUnitsPerDetent;  // truncates: a step per 120 built up
    legacyUnits_ -= detents * kUnitsPerDetent;
    return detents;
}

}  // namespace glidewheel::platform::linuxdesktop
