// SPDX-License-Identifier: MIT

#include "platform/linux/input/wheel/clone_wheel.h"

#include <cstdlib>

namespace glidewheel::platform::linuxdesktop {

namespace {

std::size_t slot(WheelAxis axis) { return axis == WheelAxis::vertical ? 0 : 1; }

// The detent nearest to `units`, halfway rounding away from zero.
long long nearestDetent(long long units) {
    const long long half = kUnitsPerDetent / 2;
    return units >= 0 ? (units + half) / kUnitsPerDetent : -((half - units) / kUnitsPerDetent);
}

}  // namespace

CloneWheel::State CloneWheel::state(WheelClock::time_point now) const {
    if (state_ == State::scrolling && now - last_.at >= kScrollTimeout) return State::resting;
    return state_;
}

bool CloneWheel::holdsBack(const Units& units) const {
    switch (state(units.at)) {
        case State::resting: return holdsBackWhenResting(units);
        case State::scrolling: return holdsBackWhenScrolling(units);
    }
    return true;
}

bool CloneWheel::holdsBackWhenScrolling(const Units& units) const {
    return units.axis != last_.axis || units.direction != last_.direction;
}

// Whatever the state, units written start or go on with a scroll of their axis and sign: the
// hold-back they may meet is released at once by a raised post.
void CloneWheel::onUnits(const Units& units) {
    state_ = State::scrolling;
    last_ = units;
}

int CloneWheel::commit(WheelAxis axis, int units) {
    Legacy& legacy = legacy_[slot(axis)];
    legacy.units += units;
    const long long due = nearestDetent(legacy.units) - legacy.steps;
    legacy.steps += due;
    return static_cast<int>(due);
}

void CloneWheel::passed(WheelAxis axis, int units, int detents) {
    Legacy& legacy = legacy_[slot(axis)];
    legacy.units += units;
    legacy.steps += detents;
}

void CloneWheel::withdraw(WheelAxis axis, WheelCodes codes) {
    Legacy& legacy = legacy_[slot(axis)];
    legacy.units -= codes.units;
    legacy.steps -= codes.detents;
}

int CloneWheel::toAnnouncedDetent(WheelAxis axis) const {
    const Legacy& legacy = legacy_[slot(axis)];
    return static_cast<int>(legacy.steps * kUnitsPerDetent - legacy.units);
}

int CloneWheel::toWholeDetent(WheelAxis axis, int direction) const {
    const int built = static_cast<int>(legacy_[slot(axis)].units % kUnitsPerDetent);
    if (built == 0) return 0;
    // Onwards to the next detent, or back to the last one when the total lies the other way.
    const int distance =
        built * direction > 0 ? kUnitsPerDetent - std::abs(built) : std::abs(built);
    return direction * distance;
}

}  // namespace glidewheel::platform::linuxdesktop
