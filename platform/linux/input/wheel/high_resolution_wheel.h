// SPDX-License-Identifier: MIT

#pragma once

#include <chrono>
#include <cstdint>

namespace glidewheel::platform::linuxdesktop {

// High-resolution wheel units: 120 make one detent.
inline constexpr int kUnitsPerDetent = 120;
// Posted scroll goes out at 12 units per point: the engine aims 10 points per detent at speed
// 1.0, so a detent's glide, once settled, moves one detent.
inline constexpr double kUnitsPerPoint = 12.0;

enum class WheelAxis { vertical, horizontal };

using WheelClock = std::chrono::steady_clock;

// What one post writes on one axis of a clone.
struct WheelCodes {
    int units = 0;    // REL_WHEEL_HI_RES / REL_HWHEEL_HI_RES
    int detents = 0;  // REL_WHEEL / REL_HWHEEL
    friend bool operator==(const WheelCodes&, const WheelCodes&) = default;
};

// One clone's wheel as the desktop sees it.
//
// libinput (1.22, Debian 12) keeps one scroll state per device for both axes: after a pause of
// 500 ms, or when the axis or the sign changes, it holds the wheel back until half a detent
// (60 units) has come in, then releases it all at once. This tells whether units written now
// would meet that hold-back.
//
// Legacy steps (REL_WHEEL, REL_HWHEEL) follow each axis's running total, one per 120 units
// built up in either direction, as wheel drivers report them.
class CloneWheel {
public:
    static constexpr WheelClock::duration kScrollTimeout = std::chrono::milliseconds(500);

    bool startsNewScroll(WheelAxis axis, int direction, WheelClock::time_point now) const;
    // Adds units to the axis's running total; returns the legacy steps that are now due.
    int commit(WheelAxis axis, int units);
    // The units it takes to bring the axis's running total to a whole detent in `direction`.
    int toWholeDetent(WheelAxis axis, int direction) const;
    // Units of this sign went out on the axis now.
    void sent(WheelAxis axis, int direction, WheelClock::time_point now);

private:
    int legacyUnits_[2] = {0, 0};  // per axis, units since the last legacy step, |u| < 120
    WheelAxis axis_ = WheelAxis::vertical;
    int direction_ = 0;  // sign of the last units sent; 0 before any
    WheelClock::time_point lastSent_{};
};

// One glide's scroll, from points posted to the units that leave for the clones.
//
// Each post gives whole units, and the rounding remainder is carried to the next post, and on to
// the next glide, so N notches at speed s total s x N x 120 units.
//
// The raise: a glide's first posts are small (15, 13, 0, 21, 16 units at speed 1.0), so
// libinput's hold-back would show nothing for five frames and then jump by 65 units. So units
// that meet the hold-back are raised to 60 (never beyond what the glide still aims at), which
// libinput releases at once, and the units sent ahead (the lead) are paid back from the glide's
// following posts, half of each (more where the glide has little left to go), until it is back
// on its course. The lead belongs to the glide, not to a clone: the caller raises only on the
// clone where the glide began, so a glide whose posts move to another mouse's clone is not
// raised again there, and goes on repaying. Older libinput releases held nothing back, and
// recent ones pass virtual devices such as our clones through; there the raise only makes the
// first frame larger. But the libinput that reads the clone runs inside the compositor or X
// server, whatever build it ships, and nothing here can tell its version reliably, so the raise
// stays.
//
// Moving on: a glide whose posts move to another axis (a sideways notch extends a glide going
// the same way) or to another mouse's clone leaves the axis it leaves on a whole detent: the
// caller sends what completes it ahead of the glide, as far as the glide still owes it.
//
// Settling: the engine's stop rule ends a glide with part of its distance unposted (1.24 of 10
// points for one notch at speed 1.0). Applications on Linux count scroll in whole detents (the
// X server makes a core click of every 120 units in its running sum, and keeps the rest across
// pauses and turns), so when a glide ends, or a turn cuts it short, what it left unposted and
// what it still owes of its lead are settled: the glide then totals exactly what it aimed at,
// and at whole speeds every glide lands on a whole detent. At speeds below 1 or between whole
// numbers a glide aims at part of a detent; that part stays in the running total, and the next
// glide in the same direction completes it (two notches at 0.5 click once, as the second
// ends). Settling never posts against the glide's direction and never posts ahead of it.
class GlideLedger {
public:
    static constexpr int kReleaseThreshold = 60;  // units, half a detent
    // Larger posts (or NaN) are clamped: a frame value is 32 bits, and no glide goes near it.
    static constexpr int kMaxUnitsPerPost = 256 * kUnitsPerDetent;

    // The glide now aims at this signed distance (points); called after every hand-off.
    void aim(double targetPoints);
    // The units for a post of `points`; `raise`: libinput would hold them back, and they may be
    // raised past its threshold.
    int post(double points, bool raise);
    // Sends `units` ahead of the glide, to be repaid like the raise; all or nothing, as far as
    // the glide still owes. Returns what it may send.
    int sendAhead(int units);
    // The glide is over with `unpostedPoints` not posted: the units that settle it, in its
    // direction or zero. The next post starts a new glide.
    int settle(double unpostedPoints);

private:
    double remainder_ = 0.0;    // units, |r| <= 0.5
    double targetUnits_ = 0.0;  // what the glide aims at
    double postedUnits_ = 0.0;  // what its posts asked for, before rounding
    int lead_ = 0;              // units sent ahead of the glide, not yet repaid
};

}  // namespace glidewheel::platform::linuxdesktop
