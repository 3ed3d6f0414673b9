#include "platform/linux/input/wheel_frame.h"

#include <algorithm>
#include <cstdint>

#include "platform/linux/input/high_resolution_wheel.h"

namespace glidewheel::platform::linuxdesktop {

namespace {

bool isSynReport(const input_event& event) {
    return event.type == EV_SYN && event.code == SYN_REPORT;
}

// The high-resolution code matching a legacy wheel step, saturated to what a frame value holds.
input_event highResolutionFor(std::uint16_t code, std::int32_t detents) {
    input_event event{};
    event.type = EV_REL;
    event.code = code;
    event.value = static_cast<std::int32_t>(
        std::clamp<std::int64_t>(std::int64_t{detents} * kUnitsPerDetent, INT32_MIN, INT32_MAX));
    return event;
}

}  // namespace

bool isWheelCode(const input_event& event) {
    if (event.type != EV_REL) return false;
    return event.code == REL_WHEEL || event.code == REL_HWHEEL || event.code == REL_WHEEL_HI_RES ||
           event.code == REL_HWHEEL_HI_RES;
}

WheelMotion wheelMotion(std::span<const input_event> frame, WheelResolution resolution) {
    WheelMotion motion;
    for (const input_event& event : frame) {
        if (event.type != EV_REL) continue;
        switch (event.code) {
            case REL_WHEEL_HI_RES:
                if (resolution.vertical) motion.vertical += event.value;
                break;
            case REL_WHEEL:
                if (!resolution.vertical) motion.vertical += std::int64_t{event.value} * kUnitsPerDetent;
                break;
            case REL_HWHEEL_HI_RES:
                if (resolution.horizontal) motion.horizontal += event.value;
                break;
            case REL_HWHEEL:
                if (!resolution.horizontal) {
                    motion.horizontal += std::int64_t{event.value} * kUnitsPerDetent;
                }
                break;
            default:
                break;
        }
    }
    return motion;
}

std::optional<Event> wheelEvent(const WheelMotion& motion) {
    if (!motion.any()) return std::nullopt;
    Event event(kCGEventScrollWheel, 0);
    event.setIntegerValue(kCGScrollWheelEventDeltaAxis1, motion.vertical / kUnitsPerDetent);
    event.setIntegerValue(kCGScrollWheelEventDeltaAxis2, motion.horizontal / kUnitsPerDetent);
    event.setDoubleValue(kCGScrollWheelEventPointDeltaAxis1,
                         static_cast<double>(motion.vertical) / kUnitsPerDetent);
    event.setDoubleValue(kCGScrollWheelEventPointDeltaAxis2,
                         static_cast<double>(motion.horizontal) / kUnitsPerDetent);
    event.setIntegerValue(kCGScrollWheelEventIsContinuous, 0);
    event.setDoubleValue(kCGScrollWheelEventScrollPhase, 0.0);
    event.setDoubleValue(kCGScrollWheelEventMomentumPhase, 0.0);
    event.setIntegerValue(kCGEventSourceUserData, 0);
    return event;
}

std::vector<input_event> cloneFrame(std::span<const input_event> frame, WheelResolution resolution,
                                    bool wheelPasses) {
    std::vector<input_event> out;
    out.reserve(frame.size() + 2);
    for (const input_event& event : frame) {
        if (!isWheelCode(event)) {
            out.push_back(event);
            continue;
        }
        if (!wheelPasses) continue;
        out.push_back(event);
        if (event.code == REL_WHEEL && !resolution.vertical) {
            out.push_back(highResolutionFor(REL_WHEEL_HI_RES, event.value));
        } else if (event.code == REL_HWHEEL && !resolution.horizontal) {
            out.push_back(highResolutionFor(REL_HWHEEL_HI_RES, event.value));
        }
    }
    if (std::all_of(out.begin(), out.end(), isSynReport)) out.clear();
    return out;
}

}  // namespace glidewheel::platform::linuxdesktop
