// SPDX-License-Identifier: MIT

// Scroll acceleration: the curve over pace and setting, and the runs of notches it measures. What
// the interceptor aims at with it: the engine tests.

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <vector>

#include "engine/scroll_acceleration.h"

namespace glidewheel {
namespace {

using namespace std::chrono_literals;
using namespace glidewheel::acceleration;
using std::chrono::nanoseconds;

constexpr double kSettings[] = {0.0, 0.05, 0.25, 0.5, 0.75, 1.0};

// Over intervals from 5 to 400 ms in steps of 0.1 ms, at each setting: 1 at kSlowInterval and
// slower, never falling as the pace rises or the setting grows, capped by the setting, the cap
// reached by a fast spin, and no step between neighbours larger than the steepest smoothstep
// allows (1.5 × the rise over the range, per 1/1250 of the range's pace).
TEST(AccelerationCurve, IsOneWhenSlowMonotonicCappedAndContinuous) {
    for (const double setting : kSettings) {
        SCOPED_TRACE(setting);
        const double cap = 1.0 + setting * (kLargestMultiplier - 1.0);
        double previous = accelerationMultiplier(400ms, setting);
        for (nanoseconds t = 400ms; t >= 5ms; t -= 100us) {
            const double m = accelerationMultiplier(t, setting);
            if (t >= kSlowInterval) {
                EXPECT_EQ(m, 1.0) << t.count();
            }
            if (t <= kFastInterval) {
                EXPECT_EQ(m, cap) << t.count();
            }
            // Never falling on the way to the cap at kFastInterval: never above it either.
            EXPECT_GE(m, previous) << t.count();
            EXPECT_LE(m - previous, 0.01 * cap) << "a jump at " << t.count();
            if (setting > 0.0) {
                EXPECT_LE(accelerationMultiplier(t, setting - 0.05), m) << t.count();
            }
            previous = m;
        }
    }
    // Settings from a hand-edited file are clamped; NaN is off.
    EXPECT_EQ(accelerationMultiplier(20ms, 3.0), 6.0);
    EXPECT_EQ(accelerationMultiplier(20ms, -1.0), 1.0);
    EXPECT_EQ(accelerationMultiplier(20ms, std::nan("")), 1.0);
}

struct TimedNotch {
    nanoseconds time;
    NotchDirection direction;
};

constexpr NotchDirection kDown{false, false};
constexpr NotchDirection kUp{false, true};
constexpr NotchDirection kRight{true, true};

// Runs of notches as rows: each notch's whole multiple of its distance. A run's first notch, and
// any after a turn, another axis, a pause or a time that does not move forward, travels once.
TEST(ScrollAcceleration, RunsStartAfreshOnATurnAPauseOrAnotherAxis) {
    const struct {
        const char* name;
        double setting;
        std::vector<TimedNotch> notches;
        std::vector<double> multiples;
    } cases[] = {
        {"fast spin", 1.0, {{0ms, kUp}, {20ms, kUp}, {40ms, kUp}, {60ms, kUp}}, {1, 6, 6, 6}},
        {"off", 0.0, {{0ms, kUp}, {20ms, kUp}, {40ms, kUp}}, {1, 1, 1}},
        {"slow turning", 1.0, {{0ms, kUp}, {150ms, kUp}, {300ms, kUp}, {900ms, kUp}}, {1, 1, 1, 1}},
        {"a turn", 1.0, {{0ms, kUp}, {20ms, kUp}, {40ms, kDown}, {60ms, kDown}}, {1, 6, 1, 6}},
        {"another axis", 1.0, {{0ms, kUp}, {20ms, kUp}, {40ms, kRight}, {60ms, kUp}}, {1, 6, 1, 1}},
        {"a pause", 1.0, {{0ms, kUp}, {20ms, kUp}, {200ms, kUp}, {220ms, kUp}}, {1, 6, 1, 6}},
        {"a still clock", 1.0, {{0ms, kUp}, {20ms, kUp}, {20ms, kUp}, {40ms, kUp}}, {1, 6, 1, 6}},
        // The mean of the last three intervals: one slow interval among fast ones holds the pace
        // back until it has left the window (×1.6 at a mean of 80 ms, carried; ×2.6 at 60 ms).
        {"smoothed",
         1.0,
         {{0ms, kUp}, {140ms, kUp}, {160ms, kUp}, {180ms, kUp}, {200ms, kUp}, {220ms, kUp}},
         {1, 1, 1, 3, 6, 6}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScrollAcceleration acceleration;
        std::vector<double> multiples;
        for (const TimedNotch& n : c.notches)
            multiples.push_back(acceleration.notchMultiple(n.time, n.direction, c.setting));
        EXPECT_EQ(multiples, c.multiples);
    }
}

// Whole multiples whose run totals follow the curve to within one notch, at every pace.
TEST(ScrollAcceleration, SpendsTheCurveInWholeNotchesCarryingTheRest) {
    for (const double setting : kSettings) {
        for (nanoseconds interval = 10ms; interval < 160ms; interval += 7ms) {
            ScrollAcceleration acceleration;
            double travelled = 0.0, asked = 0.0;
            for (int i = 0; i < 20; ++i) {
                const double multiple = acceleration.notchMultiple(i * interval, kUp, setting);
                EXPECT_EQ(multiple, std::floor(multiple));
                travelled += multiple;
                asked += i == 0 ? 1.0 : accelerationMultiplier(interval, setting);
            }
            EXPECT_LE(travelled, asked + 1e-9) << setting << " " << interval.count();
            EXPECT_GT(travelled, asked - 1.0) << setting << " " << interval.count();
        }
    }
}

}  // namespace
}  // namespace glidewheel
