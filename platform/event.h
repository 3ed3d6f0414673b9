// SPDX-License-Identifier: MIT

#pragma once

#include <array>
#include <chrono>
#include <cstdint>

namespace glidewheel::platform {

using EventType = std::uint32_t;
using EventFlags = std::uint64_t;
using EventField = std::uint32_t;
using EventMask = std::uint64_t;

inline constexpr EventType kCGEventScrollWheel = 22;
// Not real events: notifications handed to a tap's callback when the system switched it off.
inline constexpr EventType kCGEventTapDisabledByTimeout = 0xFFFFFFFE;
inline constexpr EventType kCGEventTapDisabledByUserInput = 0xFFFFFFFF;

inline constexpr EventFlags kCGEventFlagMaskShift = 0x20000;

constexpr EventMask CGEventMaskBit(EventType type) { return EventMask{1} << type; }

// Numbered event fields. Scroll distances are in points of scroll; line deltas in whole lines
// (detents on a wheel mouse).
inline constexpr EventField kCGScrollWheelEventDeltaAxis1 = 11;
inline constexpr EventField kCGScrollWheelEventDeltaAxis2 = 12;
inline constexpr EventField kCGEventSourceUserData = 42;
inline constexpr EventField kCGScrollWheelEventIsContinuous = 88;
inline constexpr EventField kCGScrollWheelEventFixedPtDeltaAxis1 = 93;
inline constexpr EventField kCGScrollWheelEventFixedPtDeltaAxis2 = 94;
inline constexpr EventField kCGScrollWheelEventPointDeltaAxis1 = 96;
inline constexpr EventField kCGScrollWheelEventPointDeltaAxis2 = 97;
inline constexpr EventField kCGScrollWheelEventScrollPhase = 99;
inline constexpr EventField kCGScrollWheelEventMomentumPhase = 123;

// An input event: a type, modifier flags and numbered fields. Each field keeps the type it was
// last written with, so an integer field holds all 64 bits exactly (a double could not hold the
// 56-bit marker of our own events) and a double field keeps its fraction. Reading a field as the
// other type converts; a field never written reads as 0.
//
// The fields live inline, so copying an event is a flat copy with no allocation: the event tap
// callback and every display frame copy one.
class Event {
public:
    static constexpr std::size_t kMaxFields = 24;

    explicit Event(EventType type = kCGEventScrollWheel, EventFlags flags = 0)
        : type_(type), flags_(flags) {}

    EventType type() const { return type_; }
    void setType(EventType type) { type_ = type; }
    EventFlags flags() const { return flags_; }
    void setFlags(EventFlags flags) { flags_ = flags; }
    // When the device reported the event, on the monotonic clock; 0 when nobody stamped it.
    std::chrono::nanoseconds timestamp() const { return timestamp_; }
    void setTimestamp(std::chrono::nanoseconds timestamp) { timestamp_ = timestamp; }

    // Doubles read as integers truncate towards zero and saturate; NaN reads as 0.
    std::int64_t integerValue(EventField field) const;
    double doubleValue(EventField field) const;

    // False, with the event unchanged, when the field is new and kMaxFields are already in use.
    bool setIntegerValue(EventField field, std::int64_t value);
    bool setDoubleValue(EventField field, double value);

    bool hasField(EventField field) const { return find(field) != nullptr; }
    std::size_t fieldCount() const { return count_; }

    friend bool operator==(const Event& a, const Event& b);

private:
    struct Slot {
        EventField field = 0;
        bool isDouble = false;
        union {
            std::int64_t integer = 0;
            double real;
        };
    };

    const Slot* find(EventField field) const;
    Slot* slotFor(EventField field);

    EventType type_;
    EventFlags flags_;
    std::chrono::nanoseconds timestamp_{0};
    std::uint32_t count_ = 0;
    std::array<Slot, kMaxFields> slots_{};
};

}  // namespace glidewheel::platform
