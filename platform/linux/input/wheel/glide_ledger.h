// SPDX-License-Identifier: MIT

#pragma once

#include "platform/linux/input/wheel/wheel_codes.h"

namespace glidewheel::platform::linuxdesktop {

// One glide's scroll, from points posted to the units that leave for the clones (docs/wheel.md).
// Each post gives whole units, the rounding remainder carried to the next post and the next
// glide, so N notches at speed s total s x N x 120 units. Units sent ahead of the glide (the
// raise past libinput's hold-back, the completion of an axis the glide leaves, the rest of a
// glide whose last post has come) are its lead, repaid from its later posts; what it leaves
// unposted when it ends, net of the lead, settles it, never against its direction.
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
    // the glide still owes, unless `regardless` (units already sent, or taken back when
    // negative). Returns what it may send.
    int sendAhead(int units, bool regardless = false);
    // Sends ahead all the glide still owes, as settling it now would; returns those units.
    int sendRest();
    // What the glide's posts have not yet asked for, in points.
    double unpostedPoints() const { return (targetUnits_ - postedUnits_) / kUnitsPerPoint; }
    // The glide is over with `unpostedPoints` not posted: the units that settle it, in its
    // direction or zero. The next post starts a new glide.
    int settle(double unpostedPoints);
    // The glide was cut short: what it has not posted is dropped, rounding remainder and all,
    // as its clone settles on a detent by itself. The next post starts a new glide.
    void drop() { *this = GlideLedger{}; }

private:
    double remainder_ = 0.0;    // units, |r| <= 0.5
    double targetUnits_ = 0.0;  // what the glide aims at
    double postedUnits_ = 0.0;  // what its posts asked for, before rounding
    int lead_ = 0;              // units sent ahead of the glide, not yet repaid
};

}  // namespace glidewheel::platform::linuxdesktop
