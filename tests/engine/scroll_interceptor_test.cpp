#include "engine/scroll_interceptor.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>
#include <numeric>

#include "platform/sim/sim_platform.h"
#include "settings/preferences.h"
#include "tests/engine/engine_test_support.h"

namespace glidewheel {
namespace {

using namespace glidewheel::platform;
using glidewheel::testing::postedAmounts;
using glidewheel::testing::wheelEvent;

constexpr std::int64_t kMarker = 0x474C494445574C;
constexpr EventTapProxy kProxy{77};

// An interceptor of its own on a private sim backend; events are handed to it directly.
class InterceptorTest : public ::testing::Test {
protected:
    sim::SimPlatform platform;
    Preferences preferences{platform.userDefaults, platform.loginItems};
    ScrollInterceptor interceptor{platform.services(), preferences};

    Event* handle(Event& event, EventType type = kCGEventScrollWheel) {
        return interceptor.handleTapEvent(kProxy, type, &event);
    }
    SmoothScroller::GlideState glide() { return interceptor.smoothScroller().glideState(); }
};

TEST_F(InterceptorTest, StartInstallsAnActiveScrollWheelTapOnTheMainLoop) {
    interceptor.start();
    EXPECT_TRUE(interceptor.isRunning());
    const auto taps = platform.events.taps();
    ASSERT_EQ(taps.size(), 1u);
    EXPECT_EQ(taps[0].location, 2u);
    EXPECT_EQ(taps[0].placement, 1u);
    EXPECT_EQ(taps[0].options, 0u);
    EXPECT_EQ(taps[0].eventsOfInterest, 0x400000u);
    EXPECT_EQ(taps[0].userInfo, nullptr);
    EXPECT_TRUE(taps[0].enabled);
    EXPECT_TRUE(taps[0].onRunLoop);
    EXPECT_EQ(platform.trust.prompts, 0);
}

TEST_F(InterceptorTest, StartWithoutTrustPromptsEachTimeAndStaysStopped) {
    platform.trust.trusted = false;
    EXPECT_FALSE(interceptor.hasAccessibilityPermission());
    interceptor.start();
    interceptor.start();
    EXPECT_EQ(platform.trust.prompts, 2);
    EXPECT_FALSE(interceptor.isRunning());
    EXPECT_TRUE(platform.events.taps().empty());

    platform.trust.trusted = true;
    EXPECT_TRUE(interceptor.hasAccessibilityPermission());
    EXPECT_EQ(platform.trust.prompts, 2) << "asking about trust must never prompt";
    interceptor.start();
    EXPECT_TRUE(interceptor.isRunning());
}

TEST_F(InterceptorTest, StartAndStopTwiceDoNothingMore) {
    interceptor.start();
    interceptor.start();
    EXPECT_EQ(platform.events.taps().size(), 1u);
    interceptor.stop();
    interceptor.stop();
    EXPECT_FALSE(interceptor.isRunning());
    EXPECT_TRUE(platform.events.taps().empty());
    interceptor.start();
    EXPECT_EQ(platform.events.taps().size(), 1u);
}

TEST_F(InterceptorTest, FailedTapCreationLeavesItStopped) {
    platform.events.failNextTapCreation();
    interceptor.start();
    EXPECT_FALSE(interceptor.isRunning());
    EXPECT_TRUE(platform.events.taps().empty());
    interceptor.start();
    EXPECT_TRUE(interceptor.isRunning());
}

TEST_F(InterceptorTest, MissingRunLoopSourceStillEnablesTheTapAndRuns) {
    platform.events.failNextRunLoopSource();
    interceptor.start();
    EXPECT_TRUE(interceptor.isRunning());
    const auto taps = platform.events.taps();
    ASSERT_EQ(taps.size(), 1u);
    EXPECT_TRUE(taps[0].enabled);
    EXPECT_FALSE(taps[0].onRunLoop);
    interceptor.stop();
    EXPECT_TRUE(platform.events.taps().empty());
}

TEST_F(InterceptorTest, StopEndsTheGlide) {
    interceptor.start();
    Event notch = wheelEvent(1.0);
    ASSERT_EQ(handle(notch), nullptr);
    ASSERT_TRUE(interceptor.smoothScroller().isDisplayLinkRunning());
    interceptor.stop();
    EXPECT_FALSE(interceptor.smoothScroller().isDisplayLinkRunning());
    EXPECT_EQ(glide().targetPosition, 0.0);
}

TEST_F(InterceptorTest, TapDisabledNotificationWithoutATapReturnsTheEvent) {
    for (EventType reason : {kCGEventTapDisabledByTimeout, kCGEventTapDisabledByUserInput}) {
        Event notification(reason);
        EXPECT_EQ(handle(notification, reason), &notification);
        EXPECT_EQ(notification, Event(reason));
    }
}

struct ConversionCase {
    double pointDelta;
    double speed;
    double clamped;
    double distance;
};

TEST_F(InterceptorTest, DeltaIsClampedPushedNinePointsOutAndScaled) {
    const ConversionCase cases[] = {
        {1.0, 1.0, 1.0, 10.0},      {1.0, 2.5, 1.0, 25.0},        {-0.5, 1.0, -0.5, -9.5},
        {-0.5, 2.0, -0.5, -19.0},   {40.0, 1.0, 26.0, 35.0},      {40.0, 3.0, 26.0, 105.0},
        {-26.0, 1.0, -26.0, -35.0}, {-1000.0, 0.5, -26.0, -17.5}, {26.0, 1.0, 26.0, 35.0},
        {0.25, 7.5, 0.25, 69.375},
    };
    for (const ConversionCase& c : cases) {
        SCOPED_TRACE(::testing::Message() << "delta " << c.pointDelta << " speed " << c.speed);
        preferences.setScrollSpeed(c.speed);
        interceptor.smoothScroller().stop();
        Event notch = wheelEvent(c.pointDelta);
        ASSERT_EQ(handle(notch), nullptr);
        EXPECT_EQ(glide().lastDelta, c.clamped);
        EXPECT_EQ(glide().targetPosition, c.distance);
        EXPECT_FALSE(glide().isHorizontal);
    }
}

TEST_F(InterceptorTest, InfiniteDeltaIsClampedLikeAnyOther) {
    Event up = wheelEvent(std::numeric_limits<double>::infinity());
    ASSERT_EQ(handle(up), nullptr);
    EXPECT_EQ(glide().targetPosition, 35.0);
    Event down = wheelEvent(-std::numeric_limits<double>::infinity());
    ASSERT_EQ(handle(down), nullptr);
    EXPECT_EQ(glide().targetPosition, -35.0);
}

TEST_F(InterceptorTest, FactorFollowsSmoothnessWithinTheUnitRange) {
    const std::pair<double, double> cases[] = {
        {0.0, 0.3}, {1.0, 0.05}, {0.5, 0.1224744871391589}, {-2.0, 0.3}, {9.0, 0.05},
    };
    for (const auto& [smoothness, factor] : cases) {
        preferences.setSmoothness(smoothness);
        Event notch = wheelEvent(1.0);
        ASSERT_EQ(handle(notch), nullptr);
        EXPECT_NEAR(glide().cachedInterpolationFactor, factor, 1e-16)
            << "smoothness " << smoothness;
    }
    EXPECT_EQ(interpolationFactor(0.5), 0.1224744871391589);
}

TEST_F(InterceptorTest, ReverseNegatesTheLineDeltaOfTheAxisUsedButNotThePointDeltas) {
    preferences.setReverseScroll(true);
    preferences.setScrollSpeed(2.0);
    Event vertical = wheelEvent(3.0, 1);
    vertical.setIntegerValue(kCGScrollWheelEventDeltaAxis2, 5);
    ASSERT_EQ(handle(vertical), nullptr);
    EXPECT_EQ(vertical.integerValue(kCGScrollWheelEventDeltaAxis1), -1);
    EXPECT_EQ(vertical.integerValue(kCGScrollWheelEventDeltaAxis2), 5);
    EXPECT_EQ(vertical.doubleValue(kCGScrollWheelEventPointDeltaAxis1), 3.0);
    EXPECT_EQ(glide().lastDelta, -3.0);
    EXPECT_EQ(glide().targetPosition, -24.0);

    Event horizontal(kCGEventScrollWheel);
    horizontal.setIntegerValue(kCGScrollWheelEventDeltaAxis1, 4);
    horizontal.setIntegerValue(kCGScrollWheelEventDeltaAxis2, -2);
    horizontal.setDoubleValue(kCGScrollWheelEventPointDeltaAxis2, -2.0);
    ASSERT_EQ(handle(horizontal), nullptr);
    EXPECT_EQ(horizontal.integerValue(kCGScrollWheelEventDeltaAxis1), 4);
    EXPECT_EQ(horizontal.integerValue(kCGScrollWheelEventDeltaAxis2), 2);
    EXPECT_EQ(horizontal.doubleValue(kCGScrollWheelEventPointDeltaAxis2), -2.0);
    EXPECT_TRUE(glide().isHorizontal);
    EXPECT_EQ(glide().targetPosition, 22.0);
}

TEST_F(InterceptorTest, ReversingTheMostNegativeLineDeltaSaturates) {
    preferences.setReverseScroll(true);
    Event notch = wheelEvent(1.0, std::numeric_limits<std::int64_t>::min());
    ASSERT_EQ(handle(notch), nullptr);
    EXPECT_EQ(notch.integerValue(kCGScrollWheelEventDeltaAxis1),
              std::numeric_limits<std::int64_t>::max());
}

TEST_F(InterceptorTest, BothAxesSetIsTakenAsVerticalWithTheFirstAxisValue) {
    Event both = wheelEvent(2.0);
    both.setDoubleValue(kCGScrollWheelEventPointDeltaAxis2, -5.0);
    ASSERT_EQ(handle(both), nullptr);
    EXPECT_FALSE(glide().isHorizontal);
    EXPECT_EQ(glide().lastDelta, 2.0);
    EXPECT_EQ(glide().targetPosition, 11.0);
}

// With reverse on, an event that passes must not have had its line delta negated: the tests
// that let it pass come before any change.
TEST_F(InterceptorTest, EventsThatPassAreReturnedUnchangedEvenWithReverseOn) {
    preferences.setReverseScroll(true);
    struct Case {
        const char* name;
        Event event;
        EventType type = kCGEventScrollWheel;
    };
    Event phased = wheelEvent(1.0);
    phased.setIntegerValue(kCGScrollWheelEventScrollPhase, 1);
    Event momentum = wheelEvent(1.0);
    momentum.setDoubleValue(kCGScrollWheelEventMomentumPhase, 0.5);
    Event ours = wheelEvent(1.0);
    ours.setIntegerValue(kCGEventSourceUserData, kMarker);
    Event noDelta = wheelEvent(0.0);
    noDelta.setDoubleValue(kCGScrollWheelEventPointDeltaAxis2, 0.0);
    Event notWheel = wheelEvent(1.0);
    notWheel.setType(5);
    Event nanDelta = wheelEvent(std::nan(""));
    Event nanSideways(kCGEventScrollWheel);
    nanSideways.setIntegerValue(kCGScrollWheelEventDeltaAxis2, 1);
    nanSideways.setDoubleValue(kCGScrollWheelEventPointDeltaAxis2, std::nan(""));
    const Case cases[] = {
        {"scroll phase", phased},      {"momentum phase", momentum}, {"own marker", ours},
        {"zero deltas", noDelta},      {"other type", notWheel, 5},  {"NaN delta", nanDelta},
        {"NaN sideways", nanSideways},
    };
    for (const Case& c : cases) {
        Event event = c.event;
        EXPECT_EQ(handle(event, c.type), &event) << c.name;
        EXPECT_EQ(event, c.event) << c.name;
    }
    preferences.setIsEnabled(false);
    Event notch = wheelEvent(1.0);
    EXPECT_EQ(handle(notch), &notch);
    EXPECT_EQ(notch, wheelEvent(1.0));

    EXPECT_EQ(platform.displayLinks.creations(), 0) << "nothing may have been handed over";
    EXPECT_EQ(glide().lastDelta, 0.0);
}

TEST_F(InterceptorTest, SettingsThatGiveNoFiniteGlidePassTheEventUntouched) {
    preferences.setReverseScroll(true);
    const auto check = [&](const char* what) {
        Event notch = wheelEvent(1.0, 1);
        EXPECT_EQ(handle(notch), &notch) << what;
        EXPECT_EQ(notch, wheelEvent(1.0, 1)) << what;
        EXPECT_EQ(platform.displayLinks.creations(), 0) << what;
    };
    preferences.setScrollSpeed(std::nan(""));
    check("NaN speed");
    preferences.setScrollSpeed(std::numeric_limits<double>::infinity());
    check("infinite speed");
    preferences.setScrollSpeed(DBL_MAX / 2);
    check("speed whose product overflows");
    preferences.setScrollSpeed(1.0);
    preferences.setSmoothness(std::nan(""));
    check("NaN smoothness");
}

TEST_F(InterceptorTest, PostingThroughAVanishedTapIsDropped) {
    Event notch = wheelEvent(1.0);
    ASSERT_EQ(interceptor.handleTapEvent(EventTapProxy{9999}, kCGEventScrollWheel, &notch),
              nullptr);
    auto* link = platform.displayLinks.lastManualLink();
    while (link->tick()) {
    }
    EXPECT_TRUE(platform.events.posted().empty());
    EXPECT_EQ(platform.events.droppedPosts(), 7u);
}

// --- Through the event stream: the shared interceptor, as the program runs it. ---

sim::SimPlatform& sharedPlatform() {
    // Leaked, so that it outlives the shared interceptor and preferences at exit.
    static sim::SimPlatform* platform = [] {
        auto* made = new sim::SimPlatform;
        made->install();
        return made;
    }();
    return *platform;
}

class EventStreamTest : public ::testing::Test {
protected:
    sim::SimPlatform& platform = sharedPlatform();
    Preferences& preferences = Preferences::shared();
    ScrollInterceptor& interceptor = ScrollInterceptor::shared();

    void SetUp() override {
        preferences.setIsEnabled(true);
        preferences.setScrollSpeed(1.0);
        preferences.setSmoothness(0.5);
        preferences.setReverseScroll(false);
        interceptor.start();
        ASSERT_TRUE(interceptor.isRunning());
    }
    void TearDown() override {
        interceptor.stop();
        platform.events.clearDelivered();
        platform.events.clearPosted();
    }

    // Display refreshes until the glide ends, each followed by the main loop sending what was
    // posted down the stream.
    void glideToEnd() {
        auto* link = platform.displayLinks.lastManualLink();
        for (int frame = 0; frame < 1000 && link->tick(); ++frame) platform.events.pump();
    }
};

TEST_F(EventStreamTest, NotchIsSwallowedAndReachesApplicationsAsAGlide) {
    EXPECT_FALSE(platform.events.deliver(wheelEvent(1.0)).has_value());
    EXPECT_TRUE(platform.events.delivered().empty());
    glideToEnd();

    const auto& delivered = platform.events.delivered();
    const auto posted = platform.events.posted();
    ASSERT_EQ(delivered.size(), 7u);
    ASSERT_EQ(posted.size(), 7u);
    double total = 0.0;
    for (std::size_t i = 0; i < delivered.size(); ++i) {
        EXPECT_TRUE(delivered[i].posted);
        EXPECT_EQ(delivered[i].event, posted[i].second) << "our own event came back changed";
        EXPECT_EQ(delivered[i].event.integerValue(kCGEventSourceUserData), kMarker);
        total += delivered[i].event.doubleValue(kCGScrollWheelEventPointDeltaAxis1);
    }
    EXPECT_NEAR(total, 8.7636, 1e-4);
}

TEST_F(EventStreamTest, ReversedShiftedNotchGlidesSidewaysTheOtherWay) {
    preferences.setReverseScroll(true);
    Event shifted = wheelEvent(1.0, 1);
    shifted.setFlags(kCGEventFlagMaskShift);
    EXPECT_FALSE(platform.events.deliver(shifted).has_value());
    glideToEnd();
    const auto& delivered = platform.events.delivered();
    ASSERT_EQ(delivered.size(), 7u);
    for (const auto& d : delivered) {
        EXPECT_EQ(d.event.doubleValue(kCGScrollWheelEventPointDeltaAxis1), 0.0);
        EXPECT_LT(d.event.doubleValue(kCGScrollWheelEventPointDeltaAxis2), -1.0);
        EXPECT_EQ(d.event.integerValue(kCGScrollWheelEventDeltaAxis1), -1);
    }
}

TEST_F(EventStreamTest, PhasedEventsAndDisabledSmoothingPassToApplications) {
    Event phased = wheelEvent(4.0);
    phased.setIntegerValue(kCGScrollWheelEventScrollPhase, 2);
    EXPECT_EQ(platform.events.deliver(phased), phased);

    preferences.setIsEnabled(false);
    EXPECT_EQ(platform.events.deliver(wheelEvent(1.0)), wheelEvent(1.0));
    EXPECT_EQ(platform.events.taps().size(), 1u) << "the tap stays installed";
    ASSERT_EQ(platform.events.delivered().size(), 2u);
    EXPECT_FALSE(platform.events.delivered()[1].posted);
    EXPECT_TRUE(platform.events.posted().empty());
}

TEST_F(EventStreamTest, NotchesDuringAGlideExtendItAndATurnRestartsIt) {
    platform.events.deliver(wheelEvent(1.0));
    auto* link = platform.displayLinks.lastManualLink();
    link->tick();
    platform.events.deliver(wheelEvent(1.0));
    EXPECT_NEAR(interceptor.smoothScroller().glideState().targetPosition, 20.0, 0.0);
    link->tick();
    platform.events.deliver(wheelEvent(-1.0));
    EXPECT_EQ(interceptor.smoothScroller().glideState().targetPosition, -10.0);
    EXPECT_EQ(interceptor.smoothScroller().glideState().currentPosition, 0.0);
    platform.events.pump();
    platform.events.clearDelivered();
    glideToEnd();
    const auto& delivered = platform.events.delivered();
    ASSERT_EQ(delivered.size(), 7u);
    EXPECT_NEAR(delivered[0].event.doubleValue(kCGScrollWheelEventPointDeltaAxis1), -1.2247, 1e-4);
}

TEST_F(EventStreamTest, TapSwitchedOffBySystemIsSwitchedBackOn) {
    for (EventType reason : {kCGEventTapDisabledByTimeout, kCGEventTapDisabledByUserInput}) {
        const auto returned = platform.events.notifyTapsDisabled(reason);
        ASSERT_TRUE(returned.has_value());
        EXPECT_EQ(returned->type(), reason);
        ASSERT_EQ(platform.events.taps().size(), 1u);
        EXPECT_TRUE(platform.events.taps()[0].enabled);
    }
    EXPECT_FALSE(platform.events.deliver(wheelEvent(1.0)).has_value()) << "the tap works again";
}

TEST_F(EventStreamTest, StoppedInterceptorLetsEverythingThrough) {
    platform.events.deliver(wheelEvent(1.0));
    interceptor.stop();
    EXPECT_FALSE(interceptor.smoothScroller().isDisplayLinkRunning());
    EXPECT_TRUE(platform.events.taps().empty());
    EXPECT_EQ(platform.events.deliver(wheelEvent(2.0)), wheelEvent(2.0));
}

}  // namespace
}  // namespace glidewheel
