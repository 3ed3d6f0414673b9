#include "platform/linux/input/wheel_frame.h"

#include <gtest/gtest.h>

#include <vector>

namespace glidewheel::platform::linuxdesktop {
namespace {

input_event ev(std::uint16_t type, std::uint16_t code, std::int32_t value) {
    input_event event{};
    event.type = type;
    event.code = code;
    event.value = value;
    return event;
}

input_event rel(std::uint16_t code, std::int32_t value) { return ev(EV_REL, code, value); }
const input_event kReport = ev(EV_SYN, SYN_REPORT, 0);

constexpr WheelResolution kHighResolution{true, true};
constexpr WheelResolution kLegacyOnly{false, false};

bool same(const input_event& a, const input_event& b) {
    return a.type == b.type && a.code == b.code && a.value == b.value;
}

void expectFrame(const std::vector<input_event>& actual, const std::vector<input_event>& expected) {
    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_TRUE(same(actual[i], expected[i]))
            << "event " << i << ": got " << actual[i].type << "/" << actual[i].code << "="
            << actual[i].value << ", want " << expected[i].type << "/" << expected[i].code << "="
            << expected[i].value;
    }
}

TEST(WheelMotion, CountsOnlyHighResolutionCodesOnHighResolutionWheels) {
    // A high-resolution wheel reports a detent both ways; it must count once.
    const std::vector<input_event> detent{rel(REL_WHEEL, 1), rel(REL_WHEEL_HI_RES, 120), kReport};
    EXPECT_EQ(wheelMotion(detent, kHighResolution).vertical, 120);

    const std::vector<input_event> fraction{rel(REL_WHEEL_HI_RES, -30), kReport};
    EXPECT_EQ(wheelMotion(fraction, kHighResolution).vertical, -30);

    const std::vector<input_event> sideways{rel(REL_HWHEEL, -1), rel(REL_HWHEEL_HI_RES, -120),
                                            kReport};
    const WheelMotion motion = wheelMotion(sideways, kHighResolution);
    EXPECT_EQ(motion.horizontal, -120);
    EXPECT_EQ(motion.vertical, 0);
}

TEST(WheelMotion, CountsLegacyDetentsAs120UnitsOnLegacyWheels) {
    const std::vector<input_event> frame{rel(REL_WHEEL, -2), rel(REL_HWHEEL, 1), kReport};
    const WheelMotion motion = wheelMotion(frame, kLegacyOnly);
    EXPECT_EQ(motion.vertical, -240);
    EXPECT_EQ(motion.horizontal, 120);
}

TEST(WheelMotion, IgnoresMotionButtonsAndNonWheelCodes) {
    const std::vector<input_event> frame{rel(REL_X, 5), rel(REL_Y, -3), ev(EV_KEY, BTN_LEFT, 1),
                                         ev(EV_MSC, MSC_SCAN, REL_WHEEL), kReport};
    EXPECT_FALSE(wheelMotion(frame, kHighResolution).any());
    EXPECT_FALSE(wheelEvent(wheelMotion(frame, kHighResolution)).has_value());
}

TEST(WheelEvent, ReportsDetentsAsLinesAndPoints) {
    const std::optional<Event> event = wheelEvent(WheelMotion{240, 0});
    ASSERT_TRUE(event.has_value());
    EXPECT_EQ(event->type(), kCGEventScrollWheel);
    EXPECT_EQ(event->flags(), 0u);
    EXPECT_EQ(event->integerValue(kCGScrollWheelEventDeltaAxis1), 2);
    EXPECT_DOUBLE_EQ(event->doubleValue(kCGScrollWheelEventPointDeltaAxis1), 2.0);
    EXPECT_EQ(event->integerValue(kCGScrollWheelEventDeltaAxis2), 0);
    EXPECT_DOUBLE_EQ(event->doubleValue(kCGScrollWheelEventPointDeltaAxis2), 0.0);
    // Must look like a discrete wheel event from a device, or the engine lets it pass.
    EXPECT_EQ(event->integerValue(kCGEventSourceUserData), 0);
    EXPECT_EQ(event->doubleValue(kCGScrollWheelEventScrollPhase), 0.0);
    EXPECT_EQ(event->doubleValue(kCGScrollWheelEventMomentumPhase), 0.0);
    EXPECT_EQ(event->integerValue(kCGScrollWheelEventIsContinuous), 0);
}

TEST(WheelEvent, FractionsOfADetentGivePointsButNoWholeLines) {
    const std::optional<Event> up = wheelEvent(WheelMotion{30, 0});
    ASSERT_TRUE(up.has_value());
    EXPECT_DOUBLE_EQ(up->doubleValue(kCGScrollWheelEventPointDeltaAxis1), 0.25);
    EXPECT_EQ(up->integerValue(kCGScrollWheelEventDeltaAxis1), 0);

    // Lines truncate towards zero in both directions.
    const std::optional<Event> down = wheelEvent(WheelMotion{-180, 0});
    ASSERT_TRUE(down.has_value());
    EXPECT_DOUBLE_EQ(down->doubleValue(kCGScrollWheelEventPointDeltaAxis1), -1.5);
    EXPECT_EQ(down->integerValue(kCGScrollWheelEventDeltaAxis1), -1);
}

TEST(WheelEvent, CarriesBothAxesOfAFrame) {
    const std::vector<input_event> frame{rel(REL_WHEEL_HI_RES, 60), rel(REL_HWHEEL_HI_RES, -240),
                                         kReport};
    const std::optional<Event> event = wheelEvent(wheelMotion(frame, kHighResolution));
    ASSERT_TRUE(event.has_value());
    EXPECT_DOUBLE_EQ(event->doubleValue(kCGScrollWheelEventPointDeltaAxis1), 0.5);
    EXPECT_DOUBLE_EQ(event->doubleValue(kCGScrollWheelEventPointDeltaAxis2), -2.0);
    EXPECT_EQ(event->integerValue(kCGScrollWheelEventDeltaAxis2), -2);
}

TEST(CloneFrame, SwallowedWheelLeavesTheRestOfTheFrameInOrder) {
    const std::vector<input_event> frame{rel(REL_X, 4), rel(REL_WHEEL, 1),
                                         rel(REL_WHEEL_HI_RES, 120), ev(EV_KEY, BTN_LEFT, 1),
                                         kReport};
    expectFrame(cloneFrame(frame, kHighResolution, false),
                {rel(REL_X, 4), ev(EV_KEY, BTN_LEFT, 1), kReport});
}

TEST(CloneFrame, SwallowedWheelOnlyFrameLeavesNothingToWrite) {
    const std::vector<input_event> frame{rel(REL_WHEEL, 1), rel(REL_WHEEL_HI_RES, 120), kReport};
    EXPECT_TRUE(cloneFrame(frame, kHighResolution, false).empty());
}

TEST(CloneFrame, PassedWheelIsWrittenAsTheMouseSentIt) {
    const std::vector<input_event> frame{rel(REL_X, 1), rel(REL_WHEEL, -1),
                                         rel(REL_WHEEL_HI_RES, -120), kReport};
    expectFrame(cloneFrame(frame, kHighResolution, true), frame);
}

TEST(CloneFrame, PassedLegacyWheelGainsTheHighResolutionCodeOfTheClone) {
    const std::vector<input_event> frame{rel(REL_WHEEL, 2), rel(REL_HWHEEL, -1), kReport};
    expectFrame(cloneFrame(frame, kLegacyOnly, true),
                {rel(REL_WHEEL, 2), rel(REL_WHEEL_HI_RES, 240), rel(REL_HWHEEL, -1),
                 rel(REL_HWHEEL_HI_RES, -120), kReport});
}

TEST(CloneFrame, HugeLegacyStepSaturatesInsteadOfOverflowing) {
    const std::vector<input_event> frame{rel(REL_WHEEL, INT32_MAX), kReport};
    const std::vector<input_event> out = cloneFrame(frame, kLegacyOnly, true);
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(out[1].code, REL_WHEEL_HI_RES);
    EXPECT_EQ(out[1].value, INT32_MAX);
}

TEST(CloneFrame, FrameWithoutWheelPassesUnchanged) {
    const std::vector<input_event> frame{rel(REL_X, -7), rel(REL_Y, 2), ev(EV_MSC, MSC_SCAN, 9),
                                         ev(EV_KEY, BTN_RIGHT, 0), kReport};
    expectFrame(cloneFrame(frame, kHighResolution, false), frame);
}

}  // namespace
}  // namespace glidewheel::platform::linuxdesktop
