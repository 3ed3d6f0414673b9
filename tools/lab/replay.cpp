// SPDX-License-Identifier: MIT

#include "tools/lab/replay.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ostream>
#include <string>

namespace glidewheel::lab {

using namespace glidewheel::platform;

namespace {

// Frames from k × 1000 / refresh ms, with the refresh rate num / den Hz.
class DisplayClock {
public:
    explicit DisplayClock(Exact refreshHz) : hz_(refreshHz) {}

    Exact frameTime(std::uint64_t frame) const {
        return Exact{static_cast<Wide>(frame) * 1000 * hz_.denominator, hz_.numerator};
    }
    // Whether an event at `time` comes before frame `frame`: time × hz <= frame × 1000.
    bool isAtOrBefore(Exact time, std::uint64_t frame) const {
        return time.numerator * hz_.numerator <=
               static_cast<Wide>(frame) * 1000 * time.denominator * hz_.denominator;
    }
    // The first frame at or after `time`, and never frame 0.
    std::uint64_t firstFrameFrom(Exact time) const {
        const Wide scaled = time.numerator * hz_.numerator;
        const Wide perFrame = Wide{1000} * time.denominator * hz_.denominator;
        const Wide frame = (scaled + perFrame - 1) / perFrame;
        return std::max<std::uint64_t>(1, static_cast<std::uint64_t>(frame));
    }

private:
    Exact hz_;
};

std::string fixed6(double value) {
    char text[400];  // the largest double has 309 digits before the point
    std::snprintf(text, sizeof text, "%.6f", value);
    return text;
}

bool isLess(Exact a, Exact b) { return a.numerator * b.denominator < b.numerator * a.denominator; }

// The trace time as the event's time stamp; times have at most 6 decimals of a millisecond, so
// this is exact.
std::chrono::nanoseconds timestampOf(Exact timeMs) {
    return std::chrono::nanoseconds(
        static_cast<std::int64_t>(timeMs.numerator * 1'000'000 / timeMs.denominator));
}

// The glide a swallowed wheel event asked for, worked out as the interceptor does, with an
// acceleration of its own that sees the same notches.
Notch notchFor(const Event& wheel, Exact timeMs, const LabOptions& options,
               ScrollAcceleration& acceleration) {
    double delta = wheel.doubleValue(kCGScrollWheelEventPointDeltaAxis1);
    bool horizontal = false;
    if (delta == 0.0) {
        delta = wheel.doubleValue(kCGScrollWheelEventPointDeltaAxis2);
        horizontal = true;
    }
    if (options.reverse) delta = -delta;
    const double clamped = clampedDelta(delta);
    const double multiple = acceleration.notchMultiple(wheel.timestamp(), {horizontal, clamped > 0},
                                                       options.acceleration);
    const bool sideways = horizontal || (wheel.flags() & kCGEventFlagMaskShift) != 0;
    return Notch{timeMs, glideDistance(clamped, options.speed) * multiple, sideways};
}

}  // namespace

ReplayResult replay(const LabOptions& options, sim::SimPlatform& platform, Preferences& preferences,
                    ScrollInterceptor& interceptor) {
    preferences.setIsEnabled(!options.disabled);
    preferences.setScrollSpeed(options.speed);
    preferences.setSmoothness(options.smoothness);
    preferences.setReverseScroll(options.reverse);
    preferences.setAcceleration(options.acceleration);
    platform.trust.trusted = true;
    if (preferences.isEnabled()) interceptor.start();

    std::vector<TraceEvent> events = options.events;
    std::stable_sort(events.begin(), events.end(), [](const TraceEvent& a, const TraceEvent& b) {
        return isLess(a.timeMs, b.timeMs);
    });

    const DisplayClock clock(options.refreshHz);
    ReplayResult result;
    const auto collect = [&](Exact time, std::optional<std::uint64_t> frame) {
        for (const auto& delivered : platform.events.delivered()) {
            result.deliveries.push_back(Delivery{time, frame, delivered.event, delivered.posted});
        }
        platform.events.clearDelivered();
    };
    ScrollAcceleration notchAcceleration;
    const auto handle = [&](const TraceEvent& wheel) {
        Event stamped = wheel.event;
        stamped.setTimestamp(timestampOf(wheel.timeMs));
        if (!platform.events.deliver(stamped))
            result.notches.push_back(notchFor(stamped, wheel.timeMs, options, notchAcceleration));
        collect(wheel.timeMs, std::nullopt);
    };
    const auto gliding = [&] { return interceptor.smoothScroller().isDisplayLinkRunning(); };

    platform.events.clearDelivered();
    std::uint64_t frame = 0;  // the last display refresh passed
    std::size_t next = 0;
    for (;;) {
        if (gliding()) {
            const std::uint64_t k = frame + 1;
            while (next < events.size() && clock.isAtOrBefore(events[next].timeMs, k)) {
                handle(events[next++]);
            }
            platform.displayLinks.lastManualLink()->tick();
            platform.events.pump();
            collect(clock.frameTime(k), k);
            frame = k;
        } else {
            if (next == events.size()) break;
            const TraceEvent& wheel = events[next++];
            handle(wheel);
            frame = std::max(frame, clock.firstFrameFrom(wheel.timeMs) - 1);
        }
    }
    interceptor.stop();
    return result;
}

void writeCsv(std::ostream& out, const std::vector<Delivery>& deliveries) {
    out << "time_ms,frame,origin,f96,f97,f11,f12,f88,f42\n";
    for (const Delivery& d : deliveries) {
        out << formatMillis(d.timeMs) << ',' << (d.frame ? std::to_string(*d.frame) : "") << ','
            << (d.glide ? "glide" : "wheel") << ','
            << fixed6(d.event.doubleValue(kCGScrollWheelEventPointDeltaAxis1)) << ','
            << fixed6(d.event.doubleValue(kCGScrollWheelEventPointDeltaAxis2)) << ','
            << d.event.integerValue(kCGScrollWheelEventDeltaAxis1) << ','
            << d.event.integerValue(kCGScrollWheelEventDeltaAxis2) << ','
            << d.event.integerValue(kCGScrollWheelEventIsContinuous) << ','
            << d.event.integerValue(kCGEventSourceUserData) << '\n';
    }
}

}  // namespace glidewheel::lab
