// Wheel frames to scroll events and back, and posted points to wheel codes.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <numeric>
#include <tuple>
#include <vector>

#include "platform/linux/input/high_resolution_wheel.h"
#include "platform/linux/input/wheel_frame.h"

namespace glidewheel::platform::linuxdesktop {
namespace {

using namespace std::chrono_literals;
using Codes = HighResolutionWheel::Codes;
using Clock = HighResolutionWheel::Clock;
using Frame = std::vector<input_event>;
constexpr auto kFrame = 16667us;  // one refresh at 60 Hz
constexpr WheelResolution kHighResolution{true, true};
constexpr WheelResolution kLegacyOnly{false, false};

input_event ev(__u16 type, __u16 code, __s32 value) { return {{}, type, code, value}; }
input_event rel(__u16 code, __s32 value) { return ev(EV_REL, code, value); }
const input_event kReport = ev(EV_SYN, SYN_REPORT, 0);

std::vector<std::tuple<int, int, int>> codes(const Frame& frame) {
    std::vector<std::tuple<int, int, int>> out;
    for (const input_event& event : frame) out.emplace_back(event.type, event.code, event.value);
    return out;
}

TEST(WheelFrame, BecomesAnEventOncePerDetentCarryingAllThatBuiltUp) {
    const auto units = [](int value) { return Frame{rel(REL_WHEEL_HI_RES, value), kReport}; };
    const struct {
        std::vector<Frame> frames;  // all but the last deliver nothing
        WheelResolution resolution;
        std::int64_t lines1, lines2;
        double points1, points2;
    } cases[] = {
        // Eighths of a detent; only the fine units count, not the legacy step with the last.
        {{units(15), units(15), units(15), units(15), units(15), units(15), units(15),
          {rel(REL_WHEEL, 1), rel(REL_WHEEL_HI_RES, 15), kReport}}, kHighResolution, 1, 0, 1.0, 0},
        {{units(90), units(-60), units(-60)}, kHighResolution, -1, 0, -1.0, 0},  // a turn drops 90
        {{{rel(REL_WHEEL_HI_RES, -180), rel(REL_HWHEEL_HI_RES, -240), rel(REL_HWHEEL, -2),
           kReport}}, kHighResolution, -1, -2, -1.5, -2.0},  // lines truncate towards zero
        {{{rel(REL_WHEEL, -2), rel(REL_HWHEEL, 1), kReport}}, kLegacyOnly, -2, 1, -2.0, 1.0},
    };
    for (const auto& c : cases) {
        DetentAccumulator detents;
        for (int round = 0; round < 2; ++round) {  // a release leaves nothing behind
            for (std::size_t i = 0; i + 1 < c.frames.size(); ++i)
                EXPECT_FALSE(wheelEvent(detents.add(wheelMotion(c.frames[i], c.resolution))));
            const auto event = wheelEvent(detents.add(wheelMotion(c.frames.back(), c.resolution)));
            ASSERT_TRUE(event.has_value());
            EXPECT_EQ(std::make_tuple(event->type(),
                                      event->integerValue(kCGScrollWheelEventDeltaAxis1),
                                      event->integerValue(kCGScrollWheelEventDeltaAxis2),
                                      event->doubleValue(kCGScrollWheelEventPointDeltaAxis1),
                                      event->doubleValue(kCGScrollWheelEventPointDeltaAxis2)),
                      std::make_tuple(kCGEventScrollWheel, c.lines1, c.lines2, c.points1,
                                      c.points2));
        }
    }
}

TEST(WheelFrame, CloneFrameWritesTheWheelThatPassesAndLeavesTheRestInOrder) {
    const Frame mixed{rel(REL_X, 4), rel(REL_WHEEL, 1), rel(REL_WHEEL_HI_RES, 15),
                      ev(EV_KEY, BTN_LEFT, 1), kReport};
    const struct {
        Frame frame;
        WheelResolution resolution;
        std::optional<WheelMotion> passed;  // none: as the mouse sent it
        Frame expected;
    } cases[] = {
        {mixed, kHighResolution, WheelMotion{}, {rel(REL_X, 4), ev(EV_KEY, BTN_LEFT, 1), kReport}},
        {{rel(REL_WHEEL_HI_RES, 15), kReport}, kHighResolution, WheelMotion{}, {}},
        {mixed, kHighResolution, WheelMotion{-300, 0},  // what built up, with its whole detents
         {rel(REL_X, 4), rel(REL_WHEEL, -2), rel(REL_WHEEL_HI_RES, -300), mixed[3], kReport}},
        {mixed, kHighResolution, std::nullopt, mixed},
        // A legacy wheel gains the clone's high-resolution code, saturated if need be.
        {{rel(REL_WHEEL, 2), rel(REL_HWHEEL, -1), kReport}, kLegacyOnly, WheelMotion{240, -120},
         {rel(REL_WHEEL, 2), rel(REL_WHEEL_HI_RES, 240), rel(REL_HWHEEL, -1),
          rel(REL_HWHEEL_HI_RES, -120), kReport}},
        {{rel(REL_WHEEL, INT32_MAX), kReport}, kLegacyOnly, std::nullopt,
         {rel(REL_WHEEL, INT32_MAX), rel(REL_WHEEL_HI_RES, INT32_MAX), kReport}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(codes(cloneFrame(c.frame, c.resolution, c.passed)), codes(c.expected));
}

TEST(HighResolutionWheel, LegacyStepsFollowTheRunningTotalAndAPauseOrTurnStartsANewScroll) {
    const auto timeout = std::chrono::duration_cast<std::chrono::microseconds>(
        HighResolutionWheel::kScrollTimeout);
    using Post = std::tuple<int, std::chrono::microseconds, Codes>;  // units, after, codes
    const std::vector<std::vector<Post>> runs = {
        // Posts of at least half a detent go out as asked: only the legacy steps are at stake.
        // Running totals 0, 70, 20, -130 (a turn), -80, -140.
        {{120, kFrame, {120, 1}}, {70, kFrame, {70, 0}}, {70, kFrame, {70, 1}},
         {-150, kFrame, {-150, -1}}, {-70, kFrame, {-70, 0}}, {-60, kFrame, {-60, -1}}},
        // Raised, 48 sent ahead of the glide; a turn forgets it; the same scroll owes nothing; a
        // turn, raised again; repaid, never turning back; still the same scroll; a pause, where
        // libinput holds back again. Running totals 60, -60, -72, -12, 60, 75, 135.
        {{12, kFrame, {60, 0}}, {-120, kFrame, {-120, 0}}, {-12, kFrame, {-12, 0}},
         {12, kFrame, {60, 0}}, {120, kFrame, {72, 0}}, {15, timeout - 1ms, {15, 0}},
         {15, timeout, {60, 1}}},
    };
    for (const int direction : {1, -1}) {
        for (const auto& run : runs) {
            HighResolutionWheel wheel;
            Clock::time_point now{};
            for (const auto& [units, after, expected] : run)
                EXPECT_EQ(wheel.post(direction * units / kUnitsPerPoint, now += after),
                          (Codes{direction * expected.units, direction * expected.detents}))
                    << direction * units;
        }
    }
}

TEST(HighResolutionWheel, StartOfAScrollIsReleasedAtOnceAndRepaidWithoutLoss) {
    // The posts of a one-detent glide at speed 1.0 and smoothness 0.5, by frame.
    const std::pair<int, double> glide[] = {{1, 1.2247}, {2, 1.0747}, {4, 1.7707}, {6, 1.3635},
                                            {8, 1.0500}, {11, 1.1402}, {16, 1.1397}};
    for (const int direction : {1, -1}) {
        HighResolutionWheel wheel;
        std::vector<int> sent;
        double exact = 0.0;
        for (const auto& [frame, amount] : glide) {
            const int units =
                wheel.post(direction * amount, Clock::time_point(frame * kFrame)).units;
            if (units != 0) sent.push_back(units);
            exact += direction * amount * kUnitsPerPoint;
        }
        // libinput holds back anything below 60 units at the start of a scroll.
        ASSERT_EQ(sent.size(), std::size(glide)) << "a frame of the glide stalled";
        EXPECT_EQ(sent.front(), direction * HighResolutionWheel::kReleaseThreshold);
        for (std::size_t i = 1; i < sent.size(); ++i)
            EXPECT_TRUE(sent[i] * direction > 0 && std::abs(sent[i]) <= 22)
                << "post " << i << " turns back or jumps";
        EXPECT_EQ(std::accumulate(sent.begin(), sent.end(), 0), std::lround(exact));
    }
}

TEST(HighResolutionWheel, CarriesTheRemainderAndClampsAbsurdAmounts) {
    HighResolutionWheel wheel;
    Clock::time_point now{};
    int units = wheel.post(10.0, now).units;
    for (int i = 0; i < 20; ++i) units += wheel.post(0.05, now += kFrame).units;  // 0.6 units each
    EXPECT_EQ(units, 132);
    EXPECT_EQ(wheel.post(NAN, now), (Codes{}));
    EXPECT_EQ(wheel.post(1e300, now).units, HighResolutionWheel::kMaxUnitsPerPost);
    EXPECT_EQ(wheel.post(-INFINITY, now).units, -HighResolutionWheel::kMaxUnitsPerPost);
}

}  // namespace
}  // namespace glidewheel::platform::linuxdesktop
