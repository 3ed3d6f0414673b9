// SPDX-License-Identifier: MIT

#include "platform/linux/input/wheel/last_post_forecast.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "platform/event_tap.h"

namespace glidewheel::platform::linuxdesktop {

bool LastPostForecast::isLast(double restPoints, WheelClock::time_point now,
                              WheelClock::duration period) {
    const double rest = std::fabs(restPoints);
    const std::optional<Rest> previous = std::exchange(previous_, Rest{rest, now});
    if (rest < kGlidePostPoints) return true;
    if (!previous || !(previous->points > rest) || period <= WheelClock::duration::zero())
        return false;
    const double frames =
        std::max(std::round(std::chrono::duration<double>(now - previous->at) / period), 1.0);
    const double fraction = 1.0 - std::pow(rest / previous->points, 1.0 / frames);
    // The engine's frames: each steps the fraction of what remains, posts what has gathered
    // once it reaches a point, then ends the glide if the step was small. Steps above 0.1
    // gather a point within ten frames.
    double left = rest;
    for (double gathered = 0.0;;) {
        const double step = fraction * left;
        left -= step;
        gathered += step;
        if (gathered >= kGlidePostPoints) return false;
        if (step <= kGlideStopStep) return true;
    }
}

}  // namespace glidewheel::platform::linuxdesktop
