// SPDX-License-Identifier: MIT

#pragma once

#include <linux/input.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/event.h"
#include "platform/linux/input/wheel/wheel_codes.h"

namespace glidewheel::platform::linuxdesktop {

// Which of a mouse's wheels report in high resolution. Such a wheel sends REL_WHEEL_HI_RES
// (REL_HWHEEL_HI_RES) beside its legacy detents, and only the high-resolution codes count.
struct WheelResolution {
    bool vertical = false;
    bool horizontal = false;
};

// An event to write to a clone; the kernel stamps the time.
input_event makeInputEvent(std::uint16_t type, std::uint16_t code, std::int32_t value);

// What a frame written to a clone carries of each wheel: high-resolution units and legacy steps,
// each clamped to what an int holds with room to add.
struct FrameWheel {
    WheelCodes vertical;
    WheelCodes horizontal;
};
FrameWheel frameWheel(std::span<const input_event> frame);

// REL_WHEEL, REL_HWHEEL and their high-resolution codes.
bool isWheelCode(const input_event& event);

// How far a frame turned the wheels, in high-resolution units (120 per detent); a legacy-only
// wheel's detents count 120 each. Positive is away from the user (vertical) and to the right
// (horizontal), as evdev has it.
struct WheelMotion {
    std::int64_t vertical = 0;
    std::int64_t horizontal = 0;
    bool any() const { return vertical != 0 || horizontal != 0; }
};

WheelMotion wheelMotion(std::span<const input_event> frame, WheelResolution resolution);

// When the kernel stamped the frame (its last event, the SYN_REPORT), on evdev's clock
// (CLOCK_MONOTONIC, which GrabbedMouse sets); 0 for an empty frame.
std::chrono::nanoseconds frameTime(std::span<const input_event> frame);

// Holds a mouse's wheel units back until a detent has built up on an axis. The engine glides
// every event it takes at least 9 points further than the event's own points (1 per detent),
// so it must see at most one event per detent: a wheel that reports a detent as 8 frames of 15
// units would otherwise glide 8 × 9.125 = 73 points a detent instead of 10. A legacy-only
// wheel's steps (120 units each) go at once.
class DetentAccumulator {
public:
    // Adds a frame's motion and returns what it releases: on each axis where at least a detent
    // (±120 units) has built up, all of it, fraction included, and the axis starts again from
    // 0; 0 on an axis still short of a detent. Motion against what an axis holds (a turn)
    // drops that first.
    WheelMotion add(const WheelMotion& frame);

private:
    WheelMotion held_;
};

// The scroll-wheel event for released wheel motion, or nothing when none was released. Line
// deltas (fields 11, 12) are whole detents, truncated towards zero; point deltas (96, 97) are
// the units as points, one per detent, fraction included (1.5 for 180 units). The event is
// discrete: no phases, not continuous, no source marker, no modifier flags. It carries `time`,
// the frame's, as its time stamp. It carries one axis, as the engine glides one per event: the
// vertical where both turned (the horizontal then passes, see passingMotion).
std::optional<Event> wheelEvent(const WheelMotion& motion, std::chrono::nanoseconds time);

// What of released motion reaches the clone once the tap's callback has had its event: all of
// it where the event passed; where it was swallowed, the axis the event did not carry.
WheelMotion passingMotion(const WheelMotion& released, bool swallowed);

// The frame to write to the clone, its other codes in order. With `passed`, the frame's wheel
// codes give way to those of the motion the callback let pass (none when it was held back or
// swallowed): each axis's whole detents as a legacy step, if any, and its units. Without, they
// pass as the mouse sent them, except that a legacy-only wheel gains the high-resolution code
// the clone has, since a desktop that reads high-resolution codes ignores the legacy ones of
// such a device. Empty if nothing but the SYN_REPORT is left.
std::vector<input_event> cloneFrame(std::span<const input_event> frame, WheelResolution resolution,
                                    const std::optional<WheelMotion>& passed);

}  // namespace glidewheel::platform::linuxdesktop
