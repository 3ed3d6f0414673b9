// SPDX-License-Identifier: MIT

#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/linux/input/wheel/high_resolution_wheel.h"

namespace glidewheel::platform::linuxdesktop {

// When the units that settle a glide go out. They are split into pieces no larger than the
// glide's largest post of its last 100 ms, so the glide keeps its pace: the first piece at once,
// at the glide's last frame, the rest one refresh apart (closer when there are many), all within
// 90 ms. Time is a parameter: the owner asks what is due now and when to ask next.
class SettlementSchedule {
public:
    static constexpr WheelClock::duration kWindow = std::chrono::milliseconds(90);
    static constexpr WheelClock::duration kInterval = std::chrono::microseconds(16667);  // 60 Hz

    struct Piece {
        std::uint64_t clone = 0;
        WheelAxis axis = WheelAxis::vertical;
        WheelCodes codes;
        friend bool operator==(const Piece&, const Piece&) = default;
    };

    // Plans `codes` (the settling units with the legacy steps they complete, which go with the
    // first piece) for the clone's axis, in pieces of at most `largestUnits` (at least 1).
    void plan(std::uint64_t clone, WheelAxis axis, WheelCodes codes, int largestUnits,
              WheelClock::time_point now);
    // Removes and returns the pieces due by `now`, in order.
    std::vector<Piece> due(WheelClock::time_point now);
    // Removes and returns, at once, what is still planned for the clone on another axis or in
    // the other direction: scroll that turns must find the clone's earlier scroll complete.
    std::vector<Piece> takeUnlike(std::uint64_t clone, WheelAxis axis, int direction);
    void forget(std::uint64_t clone);
    std::optional<WheelClock::time_point> nextDeadline() const;

private:
    struct Planned {
        WheelClock::time_point due;
        Piece piece;
    };
    std::vector<Planned> planned_;  // by due time
};

}  // namespace glidewheel::platform::linuxdesktop
