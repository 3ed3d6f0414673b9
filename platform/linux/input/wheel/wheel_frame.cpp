// SPDX-License-Identifier: MIT

#include "platform/linux/input/wheel/wheel_frame.h"

#include <algorithm>
#include <cstdint>
#include <utility>

#include "platform/linux/input/wheel/wheel_codes.h"

namespace glidewheel::platform::linuxdesktop {

namespace {

bool isSynReport(const input_event& event) {
    return event.type == EV_SYN && event.code == SYN_REPORT;
}

input_event relative(std::uint16_t code, std::int64_t value) {
    const std::int64_t saturated = std::clamp<std::int64_t>(value, INT32_MIN, INT32_MAX);
    return makeInputEvent(EV_REL, code, static_cast<std::int32_t>(saturated));
}

// One axis's codes for the given units, each saturated to what a frame value holds.
void appendAxis(std::vector<input_event>& out, std::uint16_t legacyCode, std::uint16_t unitsCode,
                std::int64_t units) {
    if (units == 0) return;
    if (units / kUnitsPerDetent != 0) out.push_back(relative(legacyCode, units / kUnitsPerDetent));
    out.push_back(relative(unitsCode, units));
}

// Adds a frame's units to what one axis holds, and returns what that releases.
std::int64_t releaseAxis(std::int64_t& held, std::int64_t frame) {
    if ((held < 0 && frame > 0) || (held > 0 && frame < 0)) held = 0;  // a turn
    held += frame;
    if (held > -kUnitsPerDetent && held < kUnitsPerDetent) return 0;
    return std::exchange(held, 0);
}

}  // namespace

input_event makeInputEvent(std::uint16_t type, std::uint16_t code, std::int32_t value) {
    return input_event{{}, type, code, value};
}

FrameWheel frameWheel(std::span<const input_event> frame) {
    std::int64_t sums[4] = {};  // REL_WHEEL_HI_RES, REL_WHEEL, REL_HWHEEL_HI_RES, REL_HWHEEL
    for (const input_event& event : frame) {
        if (event.type != EV_REL) continue;
        const int slot = event.code == REL_WHEEL_HI_RES    ? 0
                         : event.code == REL_WHEEL         ? 1
                         : event.code == REL_HWHEEL_HI_RES ? 2
                         : event.code == REL_HWHEEL        ? 3
                                                           : -1;
        if (slot >= 0) sums[slot] += event.value;
    }
    const auto clamped = [](std::int64_t sum) {
        constexpr std::int64_t kLimit = INT32_MAX / 2;
        return static_cast<int>(std::clamp(sum, -kLimit, kLimit));
    };
    return {{clamped(sums[0]), clamped(sums[1])}, {clamped(sums[2]), clamped(sums[3])}};
}

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
                if (!resolution.vertical)
                    motion.vertical += std::int64_t{event.value} * kUnitsPerDetent;
                break;
            case REL_HWHEEL_HI_RES:
                if (resolution.horizontal) motion.horizontal += event.value;
                break;
            case REL_HWHEEL:
                if (!resolution.horizontal) {
                    motion.horizontal += std::int64_t{event.value} * kUnitsPerDetent;
                }
                break;
            default: break;
        }
    }
    return motion;
}

std::chrono::nanoseconds frameTime(std::span<const input_event> frame) {
    if (frame.empty()) return std::chrono::nanoseconds::zero();
    const timeval& stamp = frame.back().time;
    return std::chrono::seconds(stamp.tv_sec) + std::chrono::microseconds(stamp.tv_usec);
}

std::optional<Event> wheelEvent(const WheelMotion& released, std::chrono::nanoseconds time) {
    if (!released.any()) return std::nullopt;
    const WheelMotion motion{released.vertical, released.vertical != 0 ? 0 : released.horizontal};
    Event event(kCGEventScrollWheel, 0);
    event.setTimestamp(time);
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

WheelMotion passingMotion(const WheelMotion& released, bool swallowed) {
    if (!swallowed) return released;
    return {0, released.vertical != 0 ? released.horizontal : 0};
}

WheelMotion DetentAccumulator::add(const WheelMotion& frame) {
    return {releaseAxis(held_.vertical, frame.vertical),
            releaseAxis(held_.horizontal, frame.horizontal)};
}

std::vector<input_event> cloneFrame(std::span<const input_event> frame, WheelResolution resolution,
                                    const std::optional<WheelMotion>& passed) {
    std::vector<input_event> out;
    out.reserve(frame.size() + 4);
    bool passedWritten = false;
    for (const input_event& event : frame) {
        if (!isWheelCode(event)) {
            out.push_back(event);
        } else if (passed) {
            if (std::exchange(passedWritten, true)) continue;
            appendAxis(out, REL_WHEEL, REL_WHEEL_HI_RES, passed->vertical);
            appendAxis(out, REL_HWHEEL, REL_HWHEEL_HI_RES, passed->horizontal);
        } else if (event.code == REL_WHEEL && !resolution.vertical) {
            appendAxis(out, REL_WHEEL, REL_WHEEL_HI_RES,
                       std::int64_t{event.value} * kUnitsPerDetent);
        } else if (event.code == REL_HWHEEL && !resolution.horizontal) {
            appendAxis(out, REL_HWHEEL, REL_HWHEEL_HI_RES,
                       std::int64_t{event.value} * kUnitsPerDetent);
        } else {
            out.push_back(event);
        }
    }
    if (std::all_of(out.begin(), out.end(), isSynReport)) out.clear();
    return out;
}

}  // namespace glidewheel::platform::linuxdesktop
