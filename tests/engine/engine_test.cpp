// SPDX-License-Identifier: MIT

// The glide engine: the smooth scroller's frames and posts, and the interceptor's decisions.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cfloat>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <numeric>
#include <tuple>
#include <utility>
#include <vector>

#include "engine/scroll_interceptor.h"
#include "engine/smooth_scroller.h"
#include "platform/sim/sim_platform.h"
#include "settings/preferences.h"
#include "tests/engine/engine_test_support.h"

namespace glidewheel {
namespace {

using namespace glidewheel::platform;
using namespace glidewheel::testing;

constexpr double kHalfSmoothFactor = 0.1224744871391589;  // smoothness 0.5

class SmoothScrollerTest : public ::testing::Test {
protected:
    sim::SimEventStream stream;
    sim::SimDisplayLinkService links;
    LiveProxy live{stream};
    AccountingTaps taps{stream};
    SmoothScroller scroller{links, taps};

    void handOff(double delta, double distance, double factor, const Event& event = wheelEvent(1),
                 bool horizontal = false) {
        scroller.addScroll(delta, distance, factor, event, live.proxy(), horizontal);
    }
    void tick(int frames) {
        for (int i = 0; i < frames; ++i) link().tick();
    }
    sim::ManualDisplayLink& link() { return *links.lastManualLink(); }

    // Ticks until the glide ends; returns the frames (1-based) that posted.
    std::vector<int> runGlide(int limit = 1000) {
        std::vector<int> postingFrames;
        for (int frame = 1; frame <= limit && link().isRunning(); ++frame) {
            const std::size_t before = stream.pendingPosts();
            link().tick();
            if (stream.pendingPosts() > before) postingFrames.push_back(frame);
        }
        return postingFrames;
    }
};

TEST_F(SmoothScrollerTest, OneNotchEitherWayGlidesTwentyOneFramesPostingSevenTimes) {
    for (const double sign : {1.0, -1.0}) {
        SCOPED_TRACE(sign);
        stream.clearPosted();
        handOff(sign, sign * 10.0, kHalfSmoothFactor);
        const std::uint64_t framesBefore = link().frames();
        double positionAtStop = 0.0;
        link().onStop = [&] { positionAtStop = scroller.glideState().currentPosition; };
        EXPECT_EQ(runGlide(), (std::vector<int>{1, 2, 4, 6, 8, 11, 16}));
        link().onStop = nullptr;
        EXPECT_EQ(link().frames() - framesBefore, 21u);
        EXPECT_NEAR(positionAtStop, sign * 9.3566, 1e-4);

        std::vector<double> expected{1.2247, 1.0747, 1.7707, 1.3635, 1.0500, 1.1402, 1.1397};
        for (double& amount : expected) amount *= sign;
        EXPECT_THAT(postedAmounts(stream),
                    ::testing::Pointwise(::testing::DoubleNear(1e-4), expected));

        const auto state = scroller.glideState();
        EXPECT_EQ(std::make_tuple(state.currentPosition, state.targetPosition, state.lastDelta,
                                  state.subPixelAccum, state.hasStoredEvent, !!state.storedProxy),
                  std::make_tuple(0.0, 0.0, 0.0, 0.0, false, false));
    }
    EXPECT_EQ(links.creations(), 1) << "the link is kept and reused between glides";
}

TEST_F(SmoothScrollerTest, PostsTheWholeSumFromOnePointAndAStepOfATenthEndsAfterItsPost) {
    handOff(1.0, 2.0, 0.5);  // first step: exactly 1.0
    link().tick();
    EXPECT_EQ(postedAmounts(stream), std::vector<double>{1.0});
    stream.clearPosted();
    handOff(-1.0, -1.9998, 0.5);  // turns: restarts, first step -0.9999 stays gathered
    link().tick();
    EXPECT_TRUE(stream.posted().empty());
    EXPECT_DOUBLE_EQ(scroller.glideState().subPixelAccum, -0.9999);

    handOff(1.0, 1.875, 0.5);  // turns again; step 0.9375: gathered, not posted
    link().tick();
    handOff(1.0, 0.0625, 0.1);  // extend: remaining exactly 1.0, so the next step is 0.1
    link().tick();
    EXPECT_FALSE(link().isRunning());
    EXPECT_EQ(postedAmounts(stream), std::vector<double>{0.9375 + 0.1}) << "fraction included";
    EXPECT_EQ(scroller.glideState().subPixelAccum, 0.0);
}

// A vertical wheel turned with shift held glides sideways.
TEST_F(SmoothScrollerTest, PostsRewriteSixFieldsAndKeepTheRest) {
    Event wheel = wheelEvent(-1.0, 1);
    wheel.setFlags(kCGEventFlagMaskShift | 0x100);
    wheel.setIntegerValue(kCGScrollWheelEventFixedPtDeltaAxis1, 65536);
    wheel.setIntegerValue(kCGScrollWheelEventDeltaAxis2, 4);
    wheel.setIntegerValue(7, 1234);  // a field the scroller does not know
    handOff(-1.0, -10.0, kHalfSmoothFactor, wheel);
    runGlide();

    const auto posted = stream.posted();
    ASSERT_EQ(posted.size(), 7u);
    for (const auto& [proxy, event] : posted) {
        EXPECT_EQ(std::make_tuple(proxy, event.type(), event.flags(), event.doubleValue(96),
                                  event.doubleValue(93), event.doubleValue(94),
                                  event.integerValue(88), event.integerValue(42),
                                  event.integerValue(11), event.integerValue(12),
                                  event.integerValue(7)),
                  std::make_tuple(live.proxy(), kCGEventScrollWheel, kCGEventFlagMaskShift | 0x100,
                                  0.0, 0.0, 0.0, 1, 0x474C494445574C, 1, 4, 1234));
        EXPECT_LE(event.doubleValue(kCGScrollWheelEventPointDeltaAxis2), -1.0);
    }
}

TEST_F(SmoothScrollerTest, WithoutALinkStopChangesNothingAndTheNextHandOffRetries) {
    links.setFailCreation(true);
    handOff(1.0, 10.0, 0.2);
    scroller.stop();
    scroller.stop();
    EXPECT_TRUE(scroller.glideState().lastDelta == 1.0 && scroller.glideState().hasStoredEvent);
    EXPECT_FALSE(scroller.isDisplayLinkRunning());

    links.setFailCreation(false);
    handOff(1.0, 10.0, 0.2);
    EXPECT_EQ(links.creations(), 2);
    EXPECT_EQ(scroller.glideState().targetPosition, 20.0) << "the first hand-off was lost";
    ASSERT_TRUE(scroller.isDisplayLinkRunning());
    link().tick();
    EXPECT_EQ(postedAmounts(stream), std::vector<double>{4.0});
}

TEST_F(SmoothScrollerTest, HandOffBetweenAFramesDecisionToStopAndTheStopStillGlides) {
    handOff(1.0, 0.5, 0.1);  // step 0.05: the first frame ends the glide
    bool handedOff = false;
    link().onStop = [&] {
        if (std::exchange(handedOff, true)) return;
        handOff(1.0, 10.0, 0.5);  // the main thread, before the frame's stop goes through
    };
    ASSERT_TRUE(link().tick());
    ASSERT_TRUE(handedOff);
    EXPECT_TRUE(link().isRunning()) << "the hand-off was left without a running link";
    EXPECT_EQ(scroller.glideState().targetPosition, 10.5);
    link().onStop = nullptr;
    runGlide();
    const std::vector<double> amounts = postedAmounts(stream);
    EXPECT_GT(std::accumulate(amounts.begin(), amounts.end(), 0.0), 9.0);
}

TEST_F(SmoothScrollerTest, HugeDistancesSaturateOrOverflowAndTheirGlidesStillEnd) {
    handOff(1.0, DBL_MAX, 0.3);
    handOff(1.0, DBL_MAX, 0.3);
    EXPECT_EQ(scroller.glideState().targetPosition, DBL_MAX);
    runGlide(5000);
    EXPECT_FALSE(link().isRunning()) << "a glide towards the largest distance must still end";

    // A negative speed gives a distance against the notch's delta: extended from far below zero
    // to far above, the target lies further from the position than a double can hold.
    handOff(1.0, -1.7e308, 0.3);
    for (int frame = 0; frame < 100; ++frame) ASSERT_TRUE(link().tick());
    handOff(1.0, 1.7e308, 0.3);
    handOff(1.0, 1.7e308, 0.3);
    runGlide(5000);
    EXPECT_FALSE(link().isRunning()) << "a glide whose step overflows must still end";
    for (double amount : postedAmounts(stream)) EXPECT_TRUE(std::isfinite(amount));

    // Near 1e17 the doubles lie 16 apart: a step of 0.3 × 16 cannot move the position.
    stream.clearPosted();
    handOff(1.0, 1e17, 0.3);
    runGlide(5000);
    EXPECT_FALSE(link().isRunning());
    const std::vector<double> amounts = postedAmounts(stream);
    EXPECT_NEAR(std::accumulate(amounts.begin(), amounts.end(), 0.0), 1e17, 1e3);
}

TEST_F(SmoothScrollerTest, HandOffsAimAndEndsTurnsAndStopsReportWhatTheGlideLeftUnposted) {
    Event shifted = wheelEvent(1);
    shifted.setFlags(kCGEventFlagMaskShift);
    handOff(1.0, 10.0, kHalfSmoothFactor);
    tick(2);
    handOff(1.0, 10.0, kHalfSmoothFactor, shifted);  // extends
    tick(3);
    handOff(-1.0, -10.0, kHalfSmoothFactor, wheelEvent(-1));
    runGlide();  // the turned glide runs out
    handOff(1.0, 10.0, kHalfSmoothFactor, wheelEvent(1), true);
    tick(3);
    scroller.stop();
    scroller.stop();  // nothing glides: nothing to report

    const std::vector<AccountingTaps::Glide> glides = taps.ended();  // turned, ran out, stopped
    ASSERT_EQ(glides.size(), 3u);
    ASSERT_EQ(glides[0].aims.size(), 2u);
    EXPECT_EQ(glides[1].aims[0].unpostedPoints, -10.0);
    const double targets[] = {20.0, -10.0, 10.0};
    const bool sideways[] = {true, false, true};
    for (std::size_t glide = 0; glide < 3; ++glide) {
        const auto& [aims, posted, end] = glides[glide];
        EXPECT_EQ(std::make_tuple(aims.back().targetPoints, aims.back().horizontal, end.proxy,
                                  end.horizontal, end.targetPoints, end.cutShort),
                  std::make_tuple(targets[glide], sideways[glide], live.proxy(), sideways[glide],
                                  targets[glide], glide != 1))
            << glide;
        EXPECT_NEAR(posted + end.unpostedPoints, targets[glide], 1e-9) << glide;
    }
    // Ran out: the stop rule left the untravelled distance and what was gathered below a point.
    EXPECT_NEAR(glides[1].end.unpostedPoints, -10.0 + 8.7636, 1e-4);
}

// An interceptor of its own on a private sim backend; events are handed to it directly.
class InterceptorTest : public ::testing::Test {
protected:
    sim::SimPlatform platform;
    Preferences preferences{platform.userDefaults, platform.loginItems};
    ScrollInterceptor interceptor{platform.services(), preferences};

    Event* handle(Event& event, EventType type = kCGEventScrollWheel) {
        return interceptor.handleTapEvent(EventTapProxy{77}, type, &event);
    }
    SmoothScroller::GlideState glide() { return interceptor.smoothScroller().glideState(); }
};

TEST_F(InterceptorTest, StartInstallsAnActiveScrollWheelTapOnTheMainLoopOnce) {
    interceptor.start();
    interceptor.start();
    ASSERT_TRUE(interceptor.isRunning() && platform.events.taps().size() == 1);
    const auto tap = platform.events.taps()[0];
    EXPECT_EQ(std::make_tuple(tap.location, tap.placement, tap.options, tap.eventsOfInterest,
                              tap.userInfo, tap.enabled, tap.onRunLoop),
              std::make_tuple(2u, 1u, 0u, 0x400000u, static_cast<void*>(&interceptor), true, true));

    Event notch = wheelEvent(1.0);
    ASSERT_EQ(handle(notch), nullptr);
    interceptor.stop();
    interceptor.stop();
    EXPECT_TRUE(!interceptor.isRunning() && platform.events.taps().empty());
    EXPECT_FALSE(interceptor.smoothScroller().isDisplayLinkRunning()) << "the glide goes on";
    EXPECT_EQ(glide().targetPosition, 0.0);
}

TEST_F(InterceptorTest, WithoutTrustOrATapItStaysStoppedAndWithoutASourceItRuns) {
    platform.trust.trusted = false;
    EXPECT_FALSE(interceptor.hasAccessibilityPermission());
    interceptor.start();
    EXPECT_TRUE(platform.trust.prompts == 1 && !interceptor.isRunning());
    platform.trust.trusted = true;
    EXPECT_TRUE(interceptor.hasAccessibilityPermission() && platform.trust.prompts == 1)
        << "asking about trust must never prompt";

    platform.events.failNextTapCreation();
    interceptor.start();
    EXPECT_TRUE(!interceptor.isRunning() && platform.events.taps().empty());
    platform.events.failNextRunLoopSource();
    interceptor.start();
    ASSERT_TRUE(interceptor.isRunning() && platform.events.taps().size() == 1);
    EXPECT_TRUE(platform.events.taps()[0].enabled && !platform.events.taps()[0].onRunLoop);
}

// A notch's delta is the vertical one unless that is zero, clamped to ±26, pushed 9 points out
// and scaled by the speed; the factor follows the smoothness clamped to the unit range; reverse
// negates the glide and the used axis's line delta (saturating), not the point deltas.
TEST_F(InterceptorTest, NotchesMapToGlidesAsTheSettingsSay) {
    const struct {
        double vertical, horizontal;
        std::int64_t lines;
        double speed, smoothness;
        bool reverse;
        double delta, distance, factor;
        std::int64_t linesAfter;
    } cases[] = {
        {-0.5, 0.0, 1, 2.0, 0.5, false, -0.5, -19.0, kHalfSmoothFactor, 1},
        {40.0, 0.0, 1, 3.0, 0.5, false, 26.0, 105.0, kHalfSmoothFactor, 1},
        {-1000.0, 0.0, 1, 0.5, 0.5, false, -26.0, -17.5, kHalfSmoothFactor, 1},
        {INFINITY, 0.0, 1, 1.0, 0.5, false, 26.0, 35.0, kHalfSmoothFactor, 1},
        {2.0, -5.0, 1, 1.0, 0.5, false, 2.0, 11.0, kHalfSmoothFactor, 1},
        {0.0, -5.0, -1, 1.0, 0.5, false, -5.0, -14.0, kHalfSmoothFactor, -1},
        {1.0, 0.0, 1, 1.0, 0.0, false, 1.0, 10.0, 0.3, 1},
        {1.0, 0.0, 1, 1.0, 1.0, false, 1.0, 10.0, 0.05, 1},
        {1.0, 0.0, 1, 1.0, -2.0, false, 1.0, 10.0, 0.3, 1},
        {1.0, 0.0, 1, 1.0, 9.0, false, 1.0, 10.0, 0.05, 1},
        {3.0, 0.0, 1, 2.0, 0.5, true, -3.0, -24.0, kHalfSmoothFactor, -1},
        {0.0, -2.0, -2, 1.0, 0.5, true, 2.0, 11.0, kHalfSmoothFactor, 2},
        {1.0, 0.0, INT64_MIN, 1.0, 0.5, true, -1.0, -10.0, kHalfSmoothFactor, INT64_MAX},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        preferences.setScrollSpeed(c.speed);
        preferences.setSmoothness(c.smoothness);
        preferences.setReverseScroll(c.reverse);
        interceptor.smoothScroller().stop();
        const bool sideways = c.vertical == 0.0;
        const auto [lines, otherLines] =
            sideways ? std::pair(kCGScrollWheelEventDeltaAxis2, kCGScrollWheelEventDeltaAxis1)
                     : std::pair(kCGScrollWheelEventDeltaAxis1, kCGScrollWheelEventDeltaAxis2);
        Event notch(kCGEventScrollWheel);
        notch.setIntegerValue(lines, c.lines);
        notch.setDoubleValue(kCGScrollWheelEventPointDeltaAxis1, c.vertical);
        notch.setDoubleValue(kCGScrollWheelEventPointDeltaAxis2, c.horizontal);
        ASSERT_EQ(handle(notch), nullptr);
        EXPECT_EQ(std::make_tuple(notch.integerValue(lines), notch.hasField(otherLines),
                                  notch.doubleValue(kCGScrollWheelEventPointDeltaAxis1),
                                  notch.doubleValue(kCGScrollWheelEventPointDeltaAxis2),
                                  glide().lastDelta, glide().targetPosition, glide().isHorizontal),
                  std::make_tuple(c.linesAfter, false, c.vertical, c.horizontal, c.delta,
                                  c.distance, sideways));
        EXPECT_NEAR(glide().cachedInterpolationFactor, c.factor, 1e-16);
    }
}

// With acceleration, ten notches 20 ms apart aim at their own distances when it is off (the same
// target as without it), at whole notches up to six each at setting 1, and at a fresh run after a
// stop.
TEST_F(InterceptorTest, TenFastNotchesAimAtWholeNotchDistances) {
    const auto spin = [&](double setting) {
        preferences.setAcceleration(setting);
        for (int i = 0; i < 10; ++i) {
            Event notch = wheelEvent(1.0);
            notch.setTimestamp(i * std::chrono::milliseconds(20));
            EXPECT_EQ(handle(notch), nullptr);
        }
        const double target = glide().targetPosition;
        interceptor.smoothScroller().stop();
        return target;
    };
    EXPECT_EQ(spin(0.0), 100.0);
    EXPECT_EQ(spin(1.0), 10.0 + 9 * 60.0);
    interceptor.start();
    interceptor.stop();  // a stop forgets the run
    EXPECT_EQ(spin(0.5), 10.0 + 10.0 * (3 + 4 + 3 + 4 + 3 + 4 + 3 + 4 + 3));
}

// A vertical notch without a line delta, filled with other fields until exactly the five
// fields a post adds still fit.
Event fullButForPosts() {
    Event event(kCGEventScrollWheel);
    event.setDoubleValue(kCGScrollWheelEventPointDeltaAxis1, 1.0);
    for (EventField field = 200; event.fieldCount() + 5 < Event::kMaxFields; ++field)
        event.setIntegerValue(field, 1);
    return event;
}

TEST_F(InterceptorTest, AFullEventWithoutReverseGlidesAndEveryPostIsMarked) {
    Event notch = fullButForPosts();
    const LiveProxy live(platform.events);  // a tap that exists, so that the posts are kept
    ASSERT_EQ(interceptor.handleTapEvent(live.proxy(), kCGEventScrollWheel, &notch), nullptr);
    sim::ManualDisplayLink& link = *platform.displayLinks.lastManualLink();
    for (int frame = 0; frame < 1000 && link.isRunning(); ++frame) link.tick();
    ASSERT_FALSE(platform.events.posted().empty());
    for (const auto& [proxy, event] : platform.events.posted())
        EXPECT_EQ(event.integerValue(kCGEventSourceUserData), ownEventMarker);
}

// With reverse on, an event that passes must not have had its line delta negated: the tests
// that let it pass come before any change.
TEST_F(InterceptorTest, EventsThatPassAreReturnedUnchangedAndNothingIsHandedOver) {
    preferences.setReverseScroll(true);
    const auto with = [](EventField field, double value, Event event = wheelEvent(1.0)) {
        event.setDoubleValue(field, value);
        return event;
    };
    Event ours = wheelEvent(1.0);
    ours.setIntegerValue(kCGEventSourceUserData, 0x474C494445574C);
    Event full = wheelEvent(1.0);
    for (EventField field = 200; full.fieldCount() < Event::kMaxFields; ++field)
        full.setIntegerValue(field, 1);
    // Room for the six fields a post rewrites, but not for the line delta reversing adds.
    Event noRoomToReverse = fullButForPosts();
    const struct {
        const char* name;
        Event event;
        EventType type = kCGEventScrollWheel;
    } cases[] = {
        {"scroll phase", with(kCGScrollWheelEventScrollPhase, 1)},
        {"momentum phase", with(kCGScrollWheelEventMomentumPhase, 0.5)},
        {"own marker", ours},
        {"zero deltas", with(kCGScrollWheelEventPointDeltaAxis2, 0.0, wheelEvent(0.0))},
        {"other type", wheelEvent(1.0), 5},
        {"NaN delta", wheelEvent(std::nan(""))},
        {"NaN sideways", with(kCGScrollWheelEventPointDeltaAxis2, std::nan(""), wheelEvent(0.0))},
        {"no room for the glide's fields", full},
        {"no room for the reversed line delta", noRoomToReverse},
    };
    for (const auto& c : cases) {
        Event event = c.event;
        EXPECT_TRUE(handle(event, c.type) == &event && event == c.event) << c.name;
    }
    const auto passes = [&](const char* what) {
        Event notch = wheelEvent(1.0, 1);
        EXPECT_TRUE(handle(notch) == &notch && notch == wheelEvent(1.0, 1)) << what;
    };
    for (const double speed : {std::nan(""), double{INFINITY}, DBL_MAX / 2}) {
        preferences.setScrollSpeed(speed);
        passes("speed giving no finite distance");
    }
    preferences.setScrollSpeed(1.0);
    preferences.setSmoothness(std::nan(""));
    passes("NaN smoothness");
    preferences.setSmoothness(0.5);
    preferences.addRawWheelApplication("Steam");
    platform.pointerApplication.pointAt({"steam", "", ""});
    passes("the application under the pointer keeps the raw wheel");
    preferences.setIsEnabled(false);
    passes("smoothing off");

    EXPECT_EQ(platform.displayLinks.creations(), 0) << "something was handed over";
    for (EventType reason : {kCGEventTapDisabledByTimeout, kCGEventTapDisabledByUserInput}) {
        Event notification(reason);
        EXPECT_EQ(handle(notification, reason), &notification) << "without a tap";
    }
}

// --- Through the event stream: the shared interceptor, as the program runs it. ---

TEST(EventStream, TapSwitchedOffByTheSystemIsSwitchedBackOn) {
    // Leaked, so that it outlives the shared interceptor and preferences at exit.
    auto& platform = *new sim::SimPlatform;
    platform.install();
    ScrollInterceptor& interceptor = ScrollInterceptor::shared();
    interceptor.start();
    ASSERT_TRUE(interceptor.isRunning());

    for (EventType reason : {kCGEventTapDisabledByTimeout, kCGEventTapDisabledByUserInput}) {
        EXPECT_EQ(platform.events.notifyTapsDisabled(reason), Event(reason));
        ASSERT_TRUE(platform.events.taps().size() == 1 && platform.events.taps()[0].enabled);
    }
    EXPECT_FALSE(platform.events.deliver(wheelEvent(1.0)).has_value()) << "the tap works again";
    interceptor.stop();
    EXPECT_EQ(platform.events.deliver(wheelEvent(2.0)), wheelEvent(2.0));
}

}  // namespace
}  // namespace glidewheel
