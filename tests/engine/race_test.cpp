// SPDX-License-Identifier: MIT

// The frame step on a display-link thread against hand-offs and stops from the main thread.
// Run under ThreadSanitizer. Assertions hold whatever the interleaving; waits are bounded.

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "engine/smooth_scroller.h"
#include "platform/sim/sim_display_link.h"
#include "tests/engine/engine_test_support.h"

namespace glidewheel {
namespace {

using namespace glidewheel::platform;
using namespace std::chrono_literals;
using namespace glidewheel::testing;

constexpr auto kPatience = 20s;  // far beyond any glide, even under a sanitizer

// Holds the first frame that ends a glide inside its stop, before the link is marked stopped,
// until a stop from outside begins.
struct Gate {
    std::mutex mutex;
    std::condition_variable changed;
    bool armed = false, held = false, open = false;

    void onStop(bool ownThread) {
        std::unique_lock lock(mutex);
        if (!ownThread) {
            open = true;
            changed.notify_all();
        } else if (std::exchange(armed, false)) {
            held = true;
            changed.notify_all();
            changed.wait(lock, [this] { return open; });
        }
    }
    bool waitUntilHeld() {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, kPatience, [this] { return held; });
    }
};

class RaceTest : public ::testing::Test {
protected:
    Gate gate;
    sim::SimEventStream stream;
    sim::SimDisplayLinkService links;
    LiveProxy live{stream};

    void useThreadedLinks(std::chrono::microseconds period) {
        links.setThreaded(period, [this](bool ownThread) { gate.onStop(ownThread); });
    }
    void handOff(SmoothScroller& scroller, double distance, double factor) {
        scroller.addScroll(distance > 0 ? 1.0 : -1.0, distance, factor, wheelEvent(1.0),
                           live.proxy(), false);
    }
};

// The stop waits for the held frame, which restarts the link for the hand-off: the stop must
// still leave it stopped. The destructor stops the same way before the scroller goes.
TEST_F(RaceTest, StopLeavesTheLinkStoppedEvenWhenAHandOffHadKeptItRunning) {
    useThreadedLinks(20ms);  // slow refreshes: a link left running would still be seen running
    gate.armed = true;
    SmoothScroller scroller(links, stream);
    handOff(scroller, 0.5, 0.1);
    ASSERT_TRUE(gate.waitUntilHeld());
    handOff(scroller, 100.0, 0.3);
    scroller.stop();

    EXPECT_FALSE(scroller.isDisplayLinkRunning());
    EXPECT_EQ(scroller.glideState().targetPosition, 0.0);
    const std::size_t postedAtStop = stream.posted().size();
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(stream.posted().size(), postedAtStop) << "the stopped glide went on posting";
}

// Stops, and the destructor's stop at exit, while frames run: nothing posts afterwards. A stop
// from another thread may meet the first hand-off making the link.
TEST_F(RaceTest, StoppingOrDestroyingMidGlideIsClean) {
    useThreadedLinks(10us);
    for (int round = 0; round < 50; ++round) {
        auto scroller = std::make_unique<SmoothScroller>(links, stream);
        std::thread early([&] { scroller->stop(); });
        for (int i = 0; i < 4; ++i) {
            if (i == 1) early.join();  // extends and turns, early and late in glides
            handOff(*scroller, (round + i) % 3 ? 30.0 : -30.0, 0.2);
            std::this_thread::sleep_for(std::chrono::microseconds((round * 71 + i * 37) % 400));
        }
        if (round % 2 == 0) scroller->stop();
        scroller.reset();
        const std::size_t postedAtDestruction = stream.posted().size();
        std::this_thread::sleep_for(100us);
        ASSERT_EQ(stream.posted().size(), postedAtDestruction) << "a frame ran after the end";
    }
}

// A turn comes from the input thread while a frame's post is on its way to the backend. The
// post belongs to the glide the turn cuts short: the backend must hear it before that glide's
// end, or it would count the post against the turned glide and the old one would come up short.
TEST_F(RaceTest, APostUnderWayWhenATurnComesIsHeardBeforeItsGlideEnds) {
    AccountingTaps taps(stream);
    SmoothScroller scroller(links, taps);
    std::future<void> input;
    taps.duringFirstPost = [&] {
        input = std::async(std::launch::async, [&] { handOff(scroller, -10.0, 0.2); });
        // Long enough for the turn to finish many times over, had it not to wait for the post.
        input.wait_for(200ms);
    };
    handOff(scroller, 10.0, 0.2);
    links.lastManualLink()->tick();  // posts 2 points, the turn arrives while it is out
    ASSERT_TRUE(input.valid()) << "the frame did not post";
    input.wait();
    for (int frame = 0; frame < 1000 && links.lastManualLink()->tick(); ++frame) {
    }
    ASSERT_FALSE(scroller.isDisplayLinkRunning());

    // Each glide aimed first, and ended having heard its own posts and no other's.
    const std::vector<AccountingTaps::Glide> glides = taps.ended();
    ASSERT_EQ(glides.size(), 2u);
    for (const auto& [aims, posted, end] : glides) {
        ASSERT_EQ(aims.size(), 1u);
        EXPECT_EQ(aims[0].targetPoints, end.targetPoints);
        EXPECT_NEAR(posted + end.unpostedPoints, end.targetPoints, 1e-9) << end.targetPoints;
    }
    EXPECT_EQ(glides[0].end.targetPoints, 10.0);
}

}  // namespace
}  // namespace glidewheel
