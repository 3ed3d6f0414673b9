// SPDX-License-Identifier: MIT

#pragma once

#include <optional>

#include "platform/linux/input/wheel/wheel_codes.h"

namespace glidewheel::platform::linuxdesktop {

// Foresees a glide's last post from its posts, so that its rest goes out on the refreshes right
// after it rather than once the engine ends the glide, several quiet refreshes later. The engine
// travels a fixed fraction of what remains each frame, posts once a point has gathered, and ends
// the glide at a step of 0.1 point: two posts and the refreshes between them tell the fraction,
// and from it whether another point will gather before the end.
class LastPostForecast {
public:
    // A hand-off changed the glide: what it left before tells nothing any more.
    void restart() { previous_.reset(); }
    // A post left the glide `restPoints` short of its aim at `now`; true when none will follow.
    bool isLast(double restPoints, WheelClock::time_point now, WheelClock::duration period);

private:
    struct Rest {
        double points;
        WheelClock::time_point at;
    };
    std::optional<Rest> previous_;
};

}  // namespace glidewheel::platform::linuxdesktop
