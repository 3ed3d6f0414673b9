// SPDX-License-Identifier: MIT

#include "platform/linux/input/wheel/glide_ledger.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace glidewheel::platform::linuxdesktop {

namespace {

int signOf(double value) { return value > 0.0 ? 1 : value < 0.0 ? -1 : 0; }

// Whole units nearest to `exact`, clamped to what one post may carry (NaN gives 0).
int wholeUnits(double exact) {
    if (std::isnan(exact)) return 0;
    const double clamped = std::clamp(std::round(exact), double{-GlideLedger::kMaxUnitsPerPost},
                                      double{GlideLedger::kMaxUnitsPerPost});
    return static_cast<int>(clamped);
}

// Keeps sums finite however absurd the amounts: beyond this no post reaches anyway.
double finiteUnits(double units) {
    constexpr double kLimit = 1e12;
    return std::isnan(units) ? 0.0 : std::clamp(units, -kLimit, kLimit);
}

}  // namespace

void GlideLedger::aim(double targetPoints) {
    targetUnits_ = finiteUnits(targetPoints * kUnitsPerPoint);
}

int GlideLedger::post(double points, bool raise) {
    if (std::isnan(points)) return 0;
    const double asked = finiteUnits(points * kUnitsPerPoint);
    const double owedBefore = targetUnits_ - postedUnits_;  // by this post and all after it
    postedUnits_ += asked;
    const double exact = asked + remainder_;
    int units = wholeUnits(exact);
    remainder_ = std::fabs(exact - units) <= 0.5 ? exact - units : 0.0;  // clamped: dropped
    if (units == 0) return 0;

    const int direction = directionOf(units);
    const int room =
        wholeUnits(std::min((owedBefore - lead_) * direction, double{kReleaseThreshold}));
    if (raise && std::abs(units) < room) {
        lead_ += direction * room - units;
        units = direction * room;
    } else if (lead_ * direction > 0) {
        // Pay back half of this post (rounded up), and more where the lead would otherwise
        // outgrow what the rest of the glide owes: the glide may end at any frame, and what it
        // then leaves unposted must cover the lead, or its total would overshoot.
        const double owedAfter = (owedBefore - asked) * direction;
        const int due = std::max((std::abs(units) + 1) / 2,
                                 static_cast<int>(std::ceil(std::abs(lead_) - owedAfter)));
        const int payment = direction * std::min({due, std::abs(units), std::abs(lead_)});
        units -= payment;
        lead_ -= payment;
    }
    return units;
}

int GlideLedger::sendAhead(int units, bool regardless) {
    const double room = (targetUnits_ - postedUnits_ - lead_) * directionOf(units);
    if (units == 0 || (!regardless && std::abs(units) > room)) return 0;
    lead_ += units;
    return units;
}

int GlideLedger::sendRest() {
    const int direction = signOf(targetUnits_);
    const int units = wholeUnits(targetUnits_ - postedUnits_ + remainder_ - lead_);
    if (units * direction <= 0) return 0;
    lead_ += units;
    return units;
}

int GlideLedger::settle(double unpostedPoints) {
    const int direction = signOf(targetUnits_);
    const double owed = finiteUnits(unpostedPoints * kUnitsPerPoint) + remainder_ - lead_;
    int units = wholeUnits(owed);
    if (units * direction < 0 || direction == 0) units = 0;
    // The clone can only be ahead of the glide by rounding; a sub-unit remainder is carried on.
    remainder_ = std::fabs(owed - units) <= 0.5 ? owed - units : 0.0;
    targetUnits_ = 0.0;
    postedUnits_ = 0.0;
    lead_ = 0;
    return units;
}

}  // namespace glidewheel::platform::linuxdesktop
