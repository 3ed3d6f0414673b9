// SPDX-License-Identifier: MIT

#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <optional>

namespace glidewheel {

// Scroll acceleration: a notch that follows others quickly, on the same axis and in the same
// direction, travels further. Every constant of the rule is here; docs/acceleration.md draws
// the curve.
namespace acceleration {
// Notches this far apart or further travel their own distance at any setting, and a notch after
// such a pause starts a new run.
inline constexpr std::chrono::milliseconds kSlowInterval{150};
// Notches this close or closer travel the most the setting allows.
inline constexpr std::chrono::milliseconds kFastInterval{30};
// The distance multiplier of a fast spin at setting 1.
inline constexpr double kLargestMultiplier = 6.0;
// How many of the latest intervals between notches the pace averages.
inline constexpr std::size_t kPaceWindow = 3;
}  // namespace acceleration

// The distance multiplier for notches `interval` apart at an acceleration `setting` (0 to 1;
// outside clamped, NaN taken as 0). The pace (notches per second) is placed between that of
// kSlowInterval and that of kFastInterval, and a smoothstep of that place scales
// 1 + setting × (kLargestMultiplier − 1): 1 at kSlowInterval and slower, the whole of it at
// kFastInterval and faster, rising without a jump or a kink in between.
double accelerationMultiplier(std::chrono::nanoseconds interval, double setting);

// Which way a notch turned the wheel.
struct NotchDirection {
    bool horizontal;
    bool positive;
    friend bool operator==(const NotchDirection&, const NotchDirection&) = default;
};

// The pace of a run of notches: the mean of its latest intervals. A notch on another axis or in
// the other direction, one kSlowInterval or more after the last, or one whose time does not
// move forward starts a new run.
class NotchPace {
public:
    // Records a notch at `time`; the run's mean interval, or nothing for a run's first notch.
    std::optional<std::chrono::nanoseconds> add(std::chrono::nanoseconds time,
                                                NotchDirection direction);
    void reset() { count_ = 0; }

private:
    std::chrono::nanoseconds lastTime_{0};
    NotchDirection lastDirection_{false, false};
    std::array<std::chrono::nanoseconds, acceleration::kPaceWindow> intervals_{};
    std::size_t count_ = 0;  // notches in the run, the first included
};

// How many of its own distances each notch travels. The multiplier is spent in whole notch
// distances, what is left over carried to the run's next notch, so a glide at a whole speed
// still aims at whole detents; a run's notches travel the curve's total to within one notch.
class ScrollAcceleration {
public:
    // A whole number, 1 or more; exactly 1 at setting 0.
    double notchMultiple(std::chrono::nanoseconds time, NotchDirection direction, double setting);
    void reset();

private:
    NotchPace pace_;
    double owed_ = 0.0;  // notch distances the curve asked for beyond those travelled
};

}  // namespace glidewheel
