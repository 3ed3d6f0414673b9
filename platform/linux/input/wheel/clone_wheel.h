// SPDX-License-Identifier: MIT

#pragma once

#include "platform/linux/input/wheel/wheel_codes.h"

namespace glidewheel::platform::linuxdesktop {

// One clone's wheel as the desktop's libinput (1.22, Debian 12) sees it, so that posts can be
// raised past its hold-back (docs/wheel.md). libinput keeps one scroll state per device for
// both axes: a resting wheel holds back the start of a scroll until 60 units have come in; a
// scrolling one passes units at once, and rests again after a 500 ms pause or when units come
// on the other axis or in the other direction.
//
// It also counts each axis's legacy steps (REL_WHEEL, REL_HWHEEL): one per detent, due halfway
// through it (at 60, 180, ... units of the axis's running total, either way), as the kernel's
// drivers for high-resolution wheels report them. A client that reads only legacy steps (an
// older compositor's) then scrolls as a glide starts rather than as it ends.
class CloneWheel {
public:
    static constexpr WheelClock::duration kScrollTimeout = std::chrono::milliseconds(500);

    enum class State { resting, scrolling };
    // Units of one sign that reached the clone on one axis.
    struct Units {
        WheelAxis axis;
        int direction;  // +1 or -1
        WheelClock::time_point at;
    };

    // What libinput's state is now: a pause longer than the timeout has put it to rest.
    State state(WheelClock::time_point now) const;
    // Whether libinput would hold back these units, were they written now.
    bool holdsBack(const Units& units) const;
    // These units were written to the clone (posted, or passed from the mouse).
    void onUnits(const Units& units);

    // Adds units to the axis's running total; returns the legacy steps that are now due.
    int commit(WheelAxis axis, int units);
    // The mouse passed units to the clone with legacy steps of its own.
    void passed(WheelAxis axis, int units, int detents);
    // Takes back codes committed but never written (they were planned, then dropped).
    void withdraw(WheelAxis axis, WheelCodes codes);
    // The units it takes to bring the axis's running total to a whole detent in `direction`.
    int toWholeDetent(WheelAxis axis, int direction) const;
    // The units it takes to bring the axis's running total to the detent its legacy steps have
    // announced: the nearest one, as they fall due halfway through each detent.
    int toAnnouncedDetent(WheelAxis axis) const;

private:
    bool holdsBackWhenResting(const Units&) const { return true; }
    bool holdsBackWhenScrolling(const Units& units) const;

    State state_ = State::resting;
    Units last_{WheelAxis::vertical, 0, {}};  // the last units written while scrolling
    struct Legacy {
        long long units = 0;  // the axis's running total
        long long steps = 0;  // legacy steps written for it
    };
    Legacy legacy_[2];  // per axis
};

}  // namespace glidewheel::platform::linuxdesktop
