// SPDX-License-Identifier: MIT

#pragma once

#include <chrono>

namespace glidewheel::platform::linuxdesktop {

// High-resolution wheel units: 120 make one detent.
inline constexpr int kUnitsPerDetent = 120;
// Posted scroll goes out at 12 units per point: the engine aims 10 points per detent at speed
// 1.0, so a detent's glide, once settled, moves one detent.
inline constexpr double kUnitsPerPoint = 12.0;

enum class WheelAxis { vertical, horizontal };

// The direction of non-zero units: +1 or -1.
inline int directionOf(int units) { return units > 0 ? 1 : -1; }

using WheelClock = std::chrono::steady_clock;  // CLOCK_MONOTONIC, as display time stamps

// What one post writes on one axis of a clone.
struct WheelCodes {
    int units = 0;    // REL_WHEEL_HI_RES / REL_HWHEEL_HI_RES
    int detents = 0;  // REL_WHEEL / REL_HWHEEL
    friend bool operator==(const WheelCodes&, const WheelCodes&) = default;
};

}  // namespace glidewheel::platform::linuxdesktop
