#include "platform/linux/input/high_resolution_wheel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <vector>

namespace glidewheel::platform::linuxdesktop {
namespace {

using namespace std::chrono_literals;
using Clock = HighResolutionWheel::Clock;
using Codes = HighResolutionWheel::Codes;

constexpr auto kFrame = 16667us;  // one refresh at 60 Hz

// The posts of a one-detent glide at speed 1.0 and the default smoothness, with the frames they
// fall on (frames without a post gather less than a point).
struct Post {
    int frame;
    double points;
};
const std::vector<Post> kDetentGlide{{1, 1.2247}, {2, 1.0747}, {4, 1.7707}, {6, 1.3635},
                                     {8, 1.0500}, {11, 1.1402}, {16, 1.1397}};

// A wheel already scrolling in the given direction, so that later posts go out as they come.
HighResolutionWheel scrolling(int direction, Clock::time_point& now) {
    HighResolutionWheel wheel;
    wheel.post(direction * 10.0, now);  // a whole detent: past libinput's threshold at once
    now += kFrame;
    return wheel;
}

TEST(HighResolutionWheel, CarriesTheRoundingRemainderSoNothingIsLost) {
    Clock::time_point now{};
    HighResolutionWheel wheel = scrolling(1, now);
    int units = 0;
    for (int i = 0; i < 20; ++i) {  // 20 x 0.6 units
        const Codes codes = wheel.post(0.05, now);
        EXPECT_GE(codes.units, 0);
        units += codes.units;
        now += kFrame;
    }
    EXPECT_EQ(units, 12);
    EXPECT_NEAR(wheel.remainder(), 0.0, 1e-9);
}

TEST(HighResolutionWheel, WholeDetentIsOneLegacyStepBothWays) {
    Clock::time_point now{};
    HighResolutionWheel up;
    EXPECT_EQ(up.post(10.0, now), (Codes{120, 1}));
    HighResolutionWheel down;
    EXPECT_EQ(down.post(-10.0, now), (Codes{-120, -1}));
}

TEST(HighResolutionWheel, LegacyStepComesEachTime120UnitsHaveBuiltUp) {
    for (const int direction : {1, -1}) {
        SCOPED_TRACE(direction);
        Clock::time_point now{};
        HighResolutionWheel wheel;
        std::vector<int> detents;
        for (int i = 0; i < 5; ++i) {  // 5 x 70 units: totals 70, 140, 210, 280, 350
            const Codes codes = wheel.post(direction * 70.0 / 12.0, now);
            EXPECT_EQ(codes.units, direction * 70);
            detents.push_back(codes.detents);
            now += kFrame;
        }
        EXPECT_EQ(detents, (std::vector<int>{0, direction, 0, direction, 0}));
    }
}

TEST(HighResolutionWheel, LegacyStepsFollowTheRunningTotalAcrossATurn) {
    Clock::time_point now{};
    HighResolutionWheel wheel;
    EXPECT_EQ(wheel.post(100.0 / 12.0, now), (Codes{100, 0}));
    now += kFrame;
    // The turn takes the total to -50: no step back up, none down yet.
    EXPECT_EQ(wheel.post(-150.0 / 12.0, now), (Codes{-150, 0}));
    now += kFrame;
    EXPECT_EQ(wheel.post(-70.0 / 12.0, now), (Codes{-70, -1}));
}

TEST(HighResolutionWheel, StartOfAScrollIsReleasedAtOnceAndRepaidWithoutLoss) {
    for (const int direction : {1, -1}) {
        SCOPED_TRACE(direction);
        Clock::time_point start{};
        HighResolutionWheel wheel;
        std::vector<int> sent;
        int requested = 0;
        double exact = 0.0;
        for (const Post& post : kDetentGlide) {
            const Codes codes = wheel.post(direction * post.points, start + post.frame * kFrame);
            if (codes.units != 0) sent.push_back(codes.units);
            exact += direction * post.points * kUnitsPerPoint;
        }
        requested = static_cast<int>(std::lround(exact));

        ASSERT_FALSE(sent.empty());
        // libinput holds back anything below 60 units at the start of a scroll.
        EXPECT_EQ(sent.front(), direction * HighResolutionWheel::kReleaseThreshold);
        int total = 0;
        for (std::size_t i = 0; i < sent.size(); ++i) {
            EXPECT_EQ(sent[i] > 0, direction > 0) << "post " << i << " turned back";
            if (i > 0) {
                EXPECT_LE(std::abs(sent[i]), 22) << "post " << i << " jumps";
            }
            total += sent[i];
        }
        EXPECT_EQ(total, requested);
        EXPECT_EQ(wheel.lead(), 0);
    }
}

TEST(HighResolutionWheel, ScrollContinuingWithinTheTimeoutIsNotRaised) {
    Clock::time_point now{};
    HighResolutionWheel wheel = scrolling(1, now);  // last sent one frame ago
    now += HighResolutionWheel::kScrollTimeout - kFrame - 1ms;
    EXPECT_EQ(wheel.post(15.0 / 12.0, now).units, 15);
}

TEST(HighResolutionWheel, PauseOrTurnStartsANewScroll) {
    Clock::time_point now{};
    HighResolutionWheel paused = scrolling(1, now);
    now += HighResolutionWheel::kScrollTimeout - kFrame;
    EXPECT_EQ(paused.post(15.0 / 12.0, now).units, 60);

    Clock::time_point then{};
    HighResolutionWheel turned = scrolling(1, then);
    EXPECT_EQ(turned.post(-15.0 / 12.0, then).units, -60);
}

TEST(HighResolutionWheel, NewScrollForgetsWhatWasNotRepaid) {
    Clock::time_point now{};
    HighResolutionWheel wheel;
    EXPECT_EQ(wheel.post(1.0, now).units, 60);  // 12 asked, 48 ahead
    EXPECT_EQ(wheel.lead(), 48);
    now += kFrame;
    EXPECT_EQ(wheel.post(-1.0, now).units, -60);  // the turn starts afresh
    EXPECT_EQ(wheel.lead(), -48);
    now += kFrame;
    EXPECT_EQ(wheel.post(-10.0, now).units, -120 + 48);  // repaid while still turning down
    EXPECT_EQ(wheel.lead(), 0);
}

TEST(HighResolutionWheel, NothingWholeDueSendsNothing) {
    Clock::time_point now{};
    HighResolutionWheel wheel;
    EXPECT_EQ(wheel.post(0.01, now), (Codes{}));
    EXPECT_EQ(wheel.post(0.0, now), (Codes{}));
    EXPECT_NEAR(wheel.remainder(), 0.12, 1e-9);
}

TEST(HighResolutionWheel, AbsurdAmountsAreClampedOrIgnored) {
    Clock::time_point now{};
    HighResolutionWheel wheel;
    EXPECT_EQ(wheel.post(std::numeric_limits<double>::quiet_NaN(), now), (Codes{}));
    const Codes huge = wheel.post(1e300, now);
    EXPECT_EQ(huge.units, HighResolutionWheel::kMaxUnitsPerPost);
    EXPECT_EQ(huge.detents, HighResolutionWheel::kMaxUnitsPerPost / kUnitsPerDetent);
    EXPECT_EQ(wheel.remainder(), 0.0);
    now += kFrame;
    EXPECT_EQ(wheel.post(-std::numeric_limits<double>::infinity(), now).units,
              -HighResolutionWheel::kMaxUnitsPerPost);
}

}  // namespace
}  // namespace glidewheel::platform::linuxdesktop
