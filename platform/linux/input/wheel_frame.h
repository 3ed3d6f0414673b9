#pragma once

#include <linux/input.h>

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/event.h"

namespace glidewheel::platform::linuxdesktop {

// Which of a mouse's wheels report in high resolution. Such a wheel sends REL_WHEEL_HI_RES
// (REL_HWHEEL_HI_RES) beside its legacy detents, and only the high-resolution codes count.
struct WheelResolution {
    bool vertical = false;
    bool horizontal = false;
};

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

// The scroll-wheel event for a frame's wheel motion, or nothing when the frame did not turn a
// wheel. Line deltas (fields 11, 12) are whole detents, truncated towards zero; point deltas
// (96, 97) are detents as points, fractional for high-resolution wheels. The event is
// discrete: no phases, not continuous, no source marker, no modifier flags.
std::optional<Event> wheelEvent(const WheelMotion& motion);

// The frame to write to the clone. A frame whose wheel event was swallowed loses its wheel
// codes (and is empty if nothing else is left but the SYN_REPORT); a passed one keeps them,
// and a legacy-only wheel gains the high-resolution code the clone has, since a desktop that
// reads high-resolution codes ignores the legacy ones of such a device.
std::vector<input_event> cloneFrame(std::span<const input_event> frame, WheelResolution resolution,
                                    bool wheelPasses);

}  // namespace glidewheel::platform::linuxdesktop
