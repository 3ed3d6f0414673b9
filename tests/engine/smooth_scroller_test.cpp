#include "engine/smooth_scroller.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <numeric>
#include <vector>

#include "platform/sim/sim_display_link.h"
#include "platform/sim/sim_event_stream.h"
#include "tests/engine/engine_test_support.h"

namespace glidewheel {
namespace {

using namespace glidewheel::platform;
using glidewheel::testing::HookedDisplayLinkService;
using glidewheel::testing::LiveProxy;
using glidewheel::testing::postedAmounts;
using glidewheel::testing::wheelEvent;

constexpr double kHalfSmoothFactor = 0.1224744871391589;  // smoothness 0.5

class SmoothScrollerTest : public ::testing::Test {
protected:
    sim::SimEventStream stream;
    sim::SimDisplayLinkService links;
    LiveProxy live{stream};
    SmoothScroller scroller{links, stream};

    void handOff(double delta, double distance, double factor, const Event& event,
                 bool horizontal = false) {
        scroller.addScroll(delta, distance, factor, event, live.proxy(), horizontal);
    }
    void handOff(double delta, double distance, double factor) {
        handOff(delta, distance, factor, wheelEvent(delta));
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

TEST_F(SmoothScrollerTest, OneNotchFromRestGlidesTwentyOneFramesPostingSevenTimes) {
    handOff(1.0, 10.0, kHalfSmoothFactor);
    ASSERT_EQ(links.creations(), 1);
    ASSERT_TRUE(link().isRunning());

    for (int frame = 1; frame <= 20; ++frame) link().tick();
    EXPECT_TRUE(link().isRunning()) << "the glide ended before its 21st frame";
    // Each frame leaves (1 − factor) of the remaining distance.
    EXPECT_NEAR(scroller.glideState().currentPosition,
                10.0 * (1.0 - std::pow(1.0 - kHalfSmoothFactor, 20)), 1e-9);

    link().tick();
    EXPECT_FALSE(link().isRunning());
    EXPECT_EQ(link().frames(), 21u);

    const std::vector<double> expected{1.2247, 1.0747, 1.7707, 1.3635, 1.0500, 1.1402, 1.1397};
    const std::vector<double> amounts = postedAmounts(stream);
    ASSERT_EQ(amounts.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_NEAR(amounts[i], expected[i], 1e-4) << "post " << i;
    }
    EXPECT_NEAR(std::accumulate(amounts.begin(), amounts.end(), 0.0), 8.7636, 1e-4);

    const auto state = scroller.glideState();
    EXPECT_EQ(state.currentPosition, 0.0);
    EXPECT_EQ(state.targetPosition, 0.0);
    EXPECT_EQ(state.lastDelta, 0.0);
    EXPECT_EQ(state.subPixelAccum, 0.0);
    EXPECT_FALSE(state.hasStoredEvent);
    EXPECT_FALSE(state.storedProxy);
}

TEST_F(SmoothScrollerTest, PostsOnTheFramesWhereOnePointHasGathered) {
    handOff(1.0, 10.0, kHalfSmoothFactor);
    EXPECT_EQ(runGlide(), (std::vector<int>{1, 2, 4, 6, 8, 11, 16}));
}

TEST_F(SmoothScrollerTest, LastFrameStopsAtAboutNineAndAThirdPoints) {
    HookedDisplayLinkService hooked;
    SmoothScroller own(hooked, stream);
    own.addScroll(1.0, 10.0, kHalfSmoothFactor, wheelEvent(1.0), live.proxy(), false);
    // The frame that ends the glide tells the link to stop before it clears the state.
    double positionAtStop = -1.0;
    hooked.link->onStop = [&] { positionAtStop = own.glideState().currentPosition; };
    int frames = 0;
    while (hooked.link->tick()) ++frames;
    EXPECT_EQ(frames, 21);
    EXPECT_NEAR(positionAtStop, 9.3566, 1e-4);
}

TEST_F(SmoothScrollerTest, NegativeNotchMirrorsThePositiveOne) {
    handOff(-1.0, -10.0, kHalfSmoothFactor);
    EXPECT_EQ(runGlide(), (std::vector<int>{1, 2, 4, 6, 8, 11, 16}));
    const std::vector<double> expected{-1.2247, -1.0747, -1.7707, -1.3635,
                                       -1.0500, -1.1402, -1.1397};
    const std::vector<double> amounts = postedAmounts(stream);
    ASSERT_EQ(amounts.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_NEAR(amounts[i], expected[i], 1e-4);
}

TEST_F(SmoothScrollerTest, GatheredAmountPostsFromExactlyOnePoint) {
    handOff(1.0, 2.0, 0.5);  // first step: exactly 1.0
    link().tick();
    EXPECT_EQ(postedAmounts(stream), std::vector<double>{1.0});
    EXPECT_EQ(scroller.glideState().subPixelAccum, 0.0);

    stream.clearPosted();
    handOff(-1.0, -1.9998, 0.5);  // turns: restarts, first step -0.9999
    link().tick();
    EXPECT_TRUE(stream.posted().empty());
    EXPECT_DOUBLE_EQ(scroller.glideState().subPixelAccum, -0.9999);
}

TEST_F(SmoothScrollerTest, PostIncludesTheWholeFractionAndEmptiesTheAccumulator) {
    // 0.9375 gathers without posting; the next step of 0.5 posts 1.4375 whole, not 1.0.
    handOff(1.0, 1.875, 0.5);
    link().tick();
    EXPECT_TRUE(stream.posted().empty());
    handOff(1.0, 0.0625, 0.5);  // extend: remaining 1.0
    link().tick();
    EXPECT_EQ(postedAmounts(stream), std::vector<double>{1.4375});
    EXPECT_EQ(scroller.glideState().subPixelAccum, 0.0);
}

TEST_F(SmoothScrollerTest, StepOfExactlyATenthEndsTheGlideAfterItsOwnPost) {
    handOff(1.0, 1.875, 0.5);  // step 0.9375: gathered, not posted
    link().tick();
    handOff(1.0, 0.0625, 0.1);  // extend: remaining exactly 1.0, so the next step is 0.1
    link().tick();
    EXPECT_FALSE(link().isRunning());
    const std::vector<double> amounts = postedAmounts(stream);
    ASSERT_EQ(amounts.size(), 1u);
    EXPECT_DOUBLE_EQ(amounts[0], 0.9375 + 0.1);
    EXPECT_EQ(scroller.glideState().targetPosition, 0.0);
}

TEST_F(SmoothScrollerTest, StepJustAboveATenthKeepsGliding) {
    handOff(1.0, 1.0, 0.1000001);
    link().tick();
    EXPECT_TRUE(link().isRunning());
    EXPECT_NEAR(scroller.glideState().currentPosition, 0.1000001, 1e-15);
}

TEST_F(SmoothScrollerTest, SameSignExtendsAndOppositeSignRestarts) {
    handOff(1.0, 10.0, kHalfSmoothFactor);
    for (int i = 0; i < 3; ++i) link().tick();
    const auto before = scroller.glideState();
    ASSERT_GT(before.subPixelAccum, 0.0);

    handOff(2.0, 5.0, 0.2);
    auto state = scroller.glideState();
    EXPECT_EQ(state.targetPosition, 15.0);
    EXPECT_EQ(state.currentPosition, before.currentPosition);
    EXPECT_EQ(state.subPixelAccum, before.subPixelAccum);
    EXPECT_EQ(state.lastDelta, 2.0);
    EXPECT_EQ(state.cachedInterpolationFactor, 0.2);

    link().tick();
    handOff(-1.0, -7.0, 0.2);
    state = scroller.glideState();
    EXPECT_EQ(state.currentPosition, 0.0);
    EXPECT_EQ(state.targetPosition, -7.0);
    EXPECT_EQ(state.subPixelAccum, 0.0);
    EXPECT_EQ(state.lastDelta, -1.0);

    stream.clearPosted();
    runGlide();
    const std::vector<double> amounts = postedAmounts(stream);
    ASSERT_FALSE(amounts.empty());
    for (double amount : amounts) EXPECT_LT(amount, 0.0);
    EXPECT_DOUBLE_EQ(amounts[0],
                     -1.4);  // 0.2 × 7 from rest, nothing carried over from the old glide
}

TEST_F(SmoothScrollerTest, FirstHandOffAfterAStopRestartsFromRest) {
    handOff(1.0, 10.0, kHalfSmoothFactor);
    link().tick();
    scroller.stop();
    EXPECT_FALSE(link().isRunning());
    auto state = scroller.glideState();
    EXPECT_EQ(state.lastDelta, 0.0);
    EXPECT_EQ(state.targetPosition, 0.0);
    EXPECT_FALSE(state.hasStoredEvent);

    handOff(1.0, 4.0, 0.25);
    state = scroller.glideState();
    EXPECT_EQ(state.currentPosition, 0.0);
    EXPECT_EQ(state.targetPosition, 4.0);
    EXPECT_EQ(links.creations(), 1) << "the link is kept and reused between glides";
    EXPECT_TRUE(link().isRunning());
    link().tick();
    EXPECT_EQ(postedAmounts(stream).back(), 1.0);
}

TEST_F(SmoothScrollerTest, PostsCarryTheSixRewrittenFieldsAndKeepTheRest) {
    Event wheel = wheelEvent(1.0, 1);
    wheel.setFlags(0x100);
    wheel.setIntegerValue(kCGScrollWheelEventFixedPtDeltaAxis1, 65536);
    wheel.setDoubleValue(kCGScrollWheelEventPointDeltaAxis2, 3.0);
    wheel.setIntegerValue(kCGScrollWheelEventDeltaAxis2, 4);
    wheel.setIntegerValue(7, 1234);  // a field the scroller does not know
    handOff(1.0, 10.0, kHalfSmoothFactor, wheel);
    runGlide();

    const auto posted = stream.posted();
    ASSERT_EQ(posted.size(), 7u);
    for (const auto& [proxy, event] : posted) {
        EXPECT_EQ(proxy, live.proxy());
        EXPECT_EQ(event.type(), kCGEventScrollWheel);
        EXPECT_EQ(event.flags(), 0x100u);
        EXPECT_GE(event.doubleValue(kCGScrollWheelEventPointDeltaAxis1), 1.0);
        EXPECT_EQ(event.doubleValue(kCGScrollWheelEventPointDeltaAxis2), 0.0);
        EXPECT_EQ(event.doubleValue(kCGScrollWheelEventFixedPtDeltaAxis1), 0.0);
        EXPECT_EQ(event.doubleValue(kCGScrollWheelEventFixedPtDeltaAxis2), 0.0);
        EXPECT_EQ(event.integerValue(kCGScrollWheelEventIsContinuous), 1);
        EXPECT_EQ(event.integerValue(kCGEventSourceUserData), 0x474C494445574C);
        EXPECT_EQ(event.integerValue(kCGScrollWheelEventDeltaAxis1), 1);
        EXPECT_EQ(event.integerValue(kCGScrollWheelEventDeltaAxis2), 4);
        EXPECT_EQ(event.integerValue(7), 1234);
    }
}

TEST_F(SmoothScrollerTest, HorizontalOrShiftedGlidesPostOnTheSecondAxis) {
    Event shifted = wheelEvent(1.0);
    shifted.setFlags(kCGEventFlagMaskShift);
    handOff(1.0, 10.0, kHalfSmoothFactor, shifted, false);
    runGlide();
    handOff(-1.0, -10.0, kHalfSmoothFactor, wheelEvent(-1.0), true);
    runGlide();

    const auto posted = stream.posted();
    ASSERT_EQ(posted.size(), 14u);
    for (std::size_t i = 0; i < posted.size(); ++i) {
        const Event& event = posted[i].second;
        EXPECT_EQ(event.doubleValue(kCGScrollWheelEventPointDeltaAxis1), 0.0) << i;
        EXPECT_NE(event.doubleValue(kCGScrollWheelEventPointDeltaAxis2), 0.0) << i;
        EXPECT_EQ(event.doubleValue(kCGScrollWheelEventPointDeltaAxis2) > 0.0, i < 7) << i;
    }
}

TEST_F(SmoothScrollerTest, StopBeforeAnyLinkChangesNothing) {
    links.setFailCreation(true);
    handOff(1.0, 10.0, 0.2);
    const auto before = scroller.glideState();
    scroller.stop();
    scroller.stop();
    const auto after = scroller.glideState();
    EXPECT_EQ(after.targetPosition, 10.0);
    EXPECT_EQ(after.lastDelta, before.lastDelta);
    EXPECT_TRUE(after.hasStoredEvent);
}

TEST_F(SmoothScrollerTest, FailedLinkCreationKeepsTheHandOffAndRetriesAtTheNext) {
    links.setFailCreation(true);
    handOff(1.0, 10.0, 0.2);
    EXPECT_EQ(links.creations(), 1);
    EXPECT_FALSE(scroller.isDisplayLinkRunning());
    EXPECT_TRUE(stream.posted().empty());

    links.setFailCreation(false);
    handOff(1.0, 10.0, 0.2);
    EXPECT_EQ(links.creations(), 2);
    EXPECT_EQ(scroller.glideState().targetPosition, 20.0) << "the first hand-off was lost";
    ASSERT_TRUE(scroller.isDisplayLinkRunning());
    link().tick();
    EXPECT_EQ(postedAmounts(stream), std::vector<double>{4.0});
}

TEST_F(SmoothScrollerTest, CallbackWithoutContextFailsAndDoesNothing) {
    handOff(1.0, 10.0, 0.2);
    std::uint64_t flagsOut = 0;
    const DisplayTimeStamp stamp{};
    EXPECT_EQ(SmoothScroller::displayLinkCallback(&link(), &stamp, &stamp, 0, &flagsOut, nullptr),
              -6660);
    EXPECT_EQ(scroller.glideState().currentPosition, 0.0);
    EXPECT_EQ(SmoothScroller::displayLinkCallback(&link(), &stamp, &stamp, 0, &flagsOut, &scroller),
              kCVReturnSuccess);
    EXPECT_EQ(scroller.glideState().currentPosition, 2.0);
}

TEST_F(SmoothScrollerTest, FramesWithoutAProxyMoveAndGatherButPostNothing) {
    scroller.addScroll(1.0, 10.0, 0.5, wheelEvent(1.0), EventTapProxy{}, false);
    link().tick();
    link().tick();
    EXPECT_TRUE(stream.posted().empty());
    const auto state = scroller.glideState();
    EXPECT_EQ(state.currentPosition, 7.5);
    EXPECT_EQ(state.subPixelAccum, 0.0) << "a sum past one point empties the accumulator";
}

TEST_F(SmoothScrollerTest, HandOffDuringTheLastFrameStillGlides) {
    HookedDisplayLinkService hooked;
    SmoothScroller own(hooked, stream);
    own.addScroll(1.0, 0.5, 0.1, wheelEvent(1.0), live.proxy(), false);  // step 0.05: ends at once
    bool handedOff = false;
    hooked.link->onStop = [&] {
        if (std::exchange(handedOff, true)) return;
        // The frame has decided to stop; the main thread hands a notch over before it does.
        own.addScroll(1.0, 10.0, 0.5, wheelEvent(1.0), live.proxy(), false);
    };
    ASSERT_TRUE(hooked.link->tick());
    ASSERT_TRUE(handedOff);
    EXPECT_TRUE(hooked.link->isRunning()) << "the hand-off was left without a running link";
    EXPECT_EQ(own.glideState().targetPosition, 10.5);

    hooked.link->onStop = nullptr;
    while (hooked.link->tick()) {
    }
    const std::vector<double> amounts = postedAmounts(stream);
    EXPECT_GT(std::accumulate(amounts.begin(), amounts.end(), 0.0), 9.0);
}

TEST_F(SmoothScrollerTest, ExtendingSaturatesTheTargetInsteadOfOverflowing) {
    handOff(1.0, DBL_MAX, 0.3);
    handOff(1.0, DBL_MAX, 0.3);
    EXPECT_EQ(scroller.glideState().targetPosition, DBL_MAX);
    handOff(-1.0, -DBL_MAX, 0.3);
    handOff(-1.0, -DBL_MAX, 0.3);
    EXPECT_EQ(scroller.glideState().targetPosition, -DBL_MAX);

    const std::vector<int> posting = runGlide(5000);
    EXPECT_FALSE(link().isRunning()) << "a glide towards the largest distance must still end";
    EXPECT_FALSE(posting.empty());
    for (double amount : postedAmounts(stream)) EXPECT_TRUE(std::isfinite(amount));
}

TEST_F(SmoothScrollerTest, GlideLongerThanDoublesCanResolveStillEnds) {
    // Near 1e17 the doubles lie 16 apart: a step of 0.3 × 16 cannot move the position.
    handOff(1.0, 1e17, 0.3);
    runGlide(5000);
    EXPECT_FALSE(link().isRunning());
    const std::vector<double> amounts = postedAmounts(stream);
    EXPECT_NEAR(std::accumulate(amounts.begin(), amounts.end(), 0.0), 1e17, 1e3);
}

TEST_F(SmoothScrollerTest, DestroyingMidGlideStopsTheLink) {
    HookedDisplayLinkService hooked;
    bool stopped = false;
    {
        SmoothScroller own(hooked, stream);
        own.addScroll(1.0, 10.0, 0.2, wheelEvent(1.0), live.proxy(), false);
        hooked.link->tick();
        hooked.link->onStop = [&] { stopped = true; };
    }
    EXPECT_TRUE(stopped);
}

}  // namespace
}  // namespace glidewheel
