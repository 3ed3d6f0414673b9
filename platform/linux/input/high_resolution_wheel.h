#pragma once

#include <chrono>
#include <cstdint>

namespace glidewheel::platform::linuxdesktop {

// High-resolution wheel units: 120 make one detent.
inline constexpr int kUnitsPerDetent = 120;
// Posted scroll goes out at 12 units per point: the engine glides 10 points per detent at
// speed 1.0, so a detent's glide moves one detent.
inline constexpr double kUnitsPerPoint = 12.0;

// One axis of a clone's wheel: turns posted amounts of scroll (points) into the codes a
// high-resolution wheel sends. Each post gives whole units, and the rounding remainder is
// carried to the next post so nothing is lost over a glide. A legacy step (REL_WHEEL or
// REL_HWHEEL) accompanies the units whenever 120 have built up, as wheel drivers report it.
//
// libinput (1.22, Debian 12) holds back the start of a wheel scroll after a pause of 500 ms or a
// turn of direction: it accumulates until half a detent (60 units) has come in, then releases
// it all at once. A glide's first posts are 15, 13, 0, 21, 16 units (1.22, 1.07, 0, 1.77, 1.36
// points), so the desktop would see nothing for five frames and then a jump of 65 units. So the
// first post of such a scroll is raised to 60 units, which libinput releases at once, and the
// units sent ahead are paid back from the following posts, half of each, until the glide is
// back on its course: the glide starts at its first frame, moves fastest first, and the total
// is unchanged. A new scroll forgets what was not yet paid back.
class HighResolutionWheel {
public:
    using Clock = std::chrono::steady_clock;

    struct Codes {
        int units = 0;   // REL_WHEEL_HI_RES / REL_HWHEEL_HI_RES
        int detents = 0; // REL_WHEEL / REL_HWHEEL
        friend bool operator==(const Codes&, const Codes&) = default;
    };

    static constexpr int kReleaseThreshold = 60;  // units, half a detent
    static constexpr Clock::duration kScrollTimeout = std::chrono::milliseconds(500);
    // Larger posts (or NaN) are clamped: a frame value is 32 bits, and no glide goes near it.
    static constexpr int kMaxUnitsPerPost = 256 * kUnitsPerDetent;

    // The codes for posting the given amount at the given time; all zero when nothing whole is
    // due yet.
    Codes post(double points, Clock::time_point now);

private:
    bool startsNewScroll(int direction, Clock::time_point now) const;
    int legacyDetents(int units);

    double remainder_ = 0.0;
    int lead_ = 0;
    int legacyUnits_ = 0;  // units since the last legacy step, |u| < 120
    int direction_ = 0;    // sign of the last units sent; 0 before any
    Clock::time_point lastSent_{};
};

}  // namespace glidewheel::platform::linuxdesktop
