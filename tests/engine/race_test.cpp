// The frame step on a display-link thread against hand-offs and stops from the main thread.
// Run under ThreadSanitizer. Assertions hold whatever the interleaving; waits are bounded.

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <cmath>
#include <numeric>
#include <thread>

#include "engine/smooth_scroller.h"
#include "platform/sim/sim_display_link.h"
#include "platform/sim/sim_event_stream.h"
#include "tests/engine/engine_test_support.h"

namespace glidewheel {
namespace {

using namespace glidewheel::platform;
using namespace std::chrono_literals;
using glidewheel::testing::LiveProxy;
using glidewheel::testing::postedAmounts;
using glidewheel::testing::wheelEvent;

constexpr auto kPatience = 20s;  // far beyond any glide, even under a sanitizer

double sum(const std::vector<double>& values) {
    return std::accumulate(values.begin(), values.end(), 0.0);
}

// Most a glide can leave unposted when it ends: the distance left after its last step
// (0.1 × (1 − factor) / factor points) and a gathered amount below one point.
double mostDroppedPerGlide(double factor) { return 0.1 * (1.0 - factor) / factor + 1.0; }

template <class Predicate>
bool waitFor(Predicate done) {
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(100us);
    }
    return true;
}

// A display link on its own thread that counts how often its own frames stop it, i.e. how many
// glides ended, and can hold the first such stop at a gate until the test opens it. Between
// refreshes it sleeps with nothing held, as a real refresh timer does. The link records whether
// it was still running when destroyed.
class GatedDisplayLink final : public DisplayLink {
public:
    struct Probe {
        std::mutex mutex;
        std::condition_variable changed;
        bool gateArmed = false;
        bool atGate = false;
        bool gateOpen = false;
        bool openGateOnOutsideStop = false;
        int glideEnds = 0;
        bool runningAtDestruction = false;
        std::chrono::microseconds refreshPeriod{50};
    };

    explicit GatedDisplayLink(Probe& probe)
        : probe_(probe), period_(probe.refreshPeriod), thread_([this] { run(); }) {}
    ~GatedDisplayLink() override {
        std::unique_lock lock(mutex_);
        {
            std::scoped_lock probeLock(probe_.mutex);
            probe_.runningAtDestruction = running_;
        }
        quit_ = true;
        changed_.notify_all();
        lock.unlock();
        thread_.join();
    }

    void setOutputCallback(DisplayLinkOutputCallback callback, void* userContext) override {
        std::scoped_lock lock(mutex_);
        callback_ = callback;
        userContext_ = userContext;
    }
    bool isRunning() const override {
        std::scoped_lock lock(mutex_);
        return running_;
    }
    void start() override {
        std::scoped_lock lock(mutex_);
        running_ = true;
        changed_.notify_all();
    }
    void stop() override {
        if (std::this_thread::get_id() == thread_.get_id()) {
            std::unique_lock probeLock(probe_.mutex);
            ++probe_.glideEnds;
            if (std::exchange(probe_.gateArmed, false)) {
                probe_.atGate = true;
                probe_.changed.notify_all();
                probe_.changed.wait(probeLock, [this] { return probe_.gateOpen; });
            }
            probeLock.unlock();
            std::scoped_lock lock(mutex_);
            running_ = false;
            return;
        }
        std::unique_lock lock(mutex_);
        running_ = false;
        {
            // Only now, so that the frame at the gate goes on after this stop has begun.
            std::scoped_lock probeLock(probe_.mutex);
            if (probe_.openGateOnOutsideStop) {
                probe_.gateOpen = true;
                probe_.changed.notify_all();
            }
        }
        changed_.wait(lock, [this] { return !inCallback_; });
    }

private:
    void run() {
        std::unique_lock lock(mutex_);
        for (;;) {
            changed_.wait(lock, [this] { return quit_ || (running_ && callback_ != nullptr); });
            if (quit_) return;
            const auto callback = callback_;
            void* const context = userContext_;
            const DisplayTimeStamp stamp{0, ++frames_};
            inCallback_ = true;
            lock.unlock();
            std::uint64_t flagsOut = 0;
            callback(this, &stamp, &stamp, 0, &flagsOut, context);
            lock.lock();
            inCallback_ = false;
            changed_.notify_all();
            lock.unlock();
            std::this_thread::sleep_for(period_);
            lock.lock();
        }
    }

    Probe& probe_;
    const std::chrono::microseconds period_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    DisplayLinkOutputCallback callback_ = nullptr;
    void* userContext_ = nullptr;
    bool running_ = false;
    bool inCallback_ = false;
    bool quit_ = false;
    std::uint64_t frames_ = 0;
    std::thread thread_;
};

class GatedDisplayLinkService final : public DisplayLinkService {
public:
    std::unique_ptr<DisplayLink> createWithActiveDisplays() override {
        return std::make_unique<GatedDisplayLink>(probe);
    }
    GatedDisplayLink::Probe probe;

    bool waitAtGate() {
        std::unique_lock lock(probe.mutex);
        return probe.changed.wait_for(lock, kPatience, [this] { return probe.atGate; });
    }
    void openGate() {
        std::scoped_lock lock(probe.mutex);
        probe.gateOpen = true;
        probe.changed.notify_all();
    }
    int glideEnds() {
        std::scoped_lock lock(probe.mutex);
        return probe.glideEnds;
    }
};

TEST(Race, HandOffsAgainstTheFrameThreadLoseNoDistance) {
    sim::SimEventStream stream;
    GatedDisplayLinkService links;
    LiveProxy live(stream);
    constexpr double kFactor = 0.3;
    constexpr double kDistance = 500.0;  // far more than a glide's end can drop
    constexpr int kHandOffs = 200;
    {
        SmoothScroller scroller(links, stream);
        for (int i = 0; i < kHandOffs; ++i) {
            scroller.addScroll(1.0, kDistance, kFactor, wheelEvent(1.0), live.proxy(), false);
            // Vary the pause so hand-offs land early, late and at the very end of glides.
            std::this_thread::sleep_for(std::chrono::microseconds((i * 37) % 1500));
        }
        ASSERT_TRUE(waitFor([&] { return !scroller.isDisplayLinkRunning(); }));
    }
    const double posted = sum(postedAmounts(stream));
    const double expected = kHandOffs * kDistance;
    EXPECT_LE(posted, expected + 1e-6);
    EXPECT_GE(posted, expected - links.glideEnds() * mostDroppedPerGlide(kFactor))
        << "a hand-off was lost; glides ended " << links.glideEnds() << " times";
}

TEST(Race, HandOffWhileAFrameEndsTheGlideStillGlides) {
    sim::SimEventStream stream;
    GatedDisplayLinkService links;
    links.probe.gateArmed = true;
    LiveProxy live(stream);
    SmoothScroller scroller(links, stream);

    scroller.addScroll(1.0, 0.5, 0.1, wheelEvent(1.0), live.proxy(), false);  // ends at frame 1
    ASSERT_TRUE(links.waitAtGate());
    scroller.addScroll(1.0, 100.0, 0.3, wheelEvent(1.0), live.proxy(), false);
    links.openGate();

    ASSERT_TRUE(
        waitFor([&] { return links.glideEnds() >= 2 && !scroller.isDisplayLinkRunning(); }));
    EXPECT_GE(sum(postedAmounts(stream)), 100.5 - mostDroppedPerGlide(0.3));
}

TEST(Race, DestroyingTheScrollerStopsALinkThatAHandOffKeptRunning) {
    sim::SimEventStream stream;
    GatedDisplayLinkService links;
    links.probe.gateArmed = true;
    links.probe.openGateOnOutsideStop = true;
    LiveProxy live(stream);
    {
        SmoothScroller scroller(links, stream);
        scroller.addScroll(1.0, 0.5, 0.1, wheelEvent(1.0), live.proxy(), false);
        ASSERT_TRUE(links.waitAtGate());
        // The frame has decided to end the glide; a notch arrives, then the program exits.
        scroller.addScroll(1.0, 100.0, 0.3, wheelEvent(1.0), live.proxy(), false);
    }
    std::scoped_lock lock(links.probe.mutex);
    EXPECT_FALSE(links.probe.runningAtDestruction)
        << "the link could call into the scroller while it was being destroyed";
}

TEST(Race, StopLeavesTheLinkStoppedEvenWhenAHandOffHadKeptItRunning) {
    sim::SimEventStream stream;
    GatedDisplayLinkService links;
    links.probe.gateArmed = true;
    links.probe.openGateOnOutsideStop = true;
    // Slow refreshes, so that a link left running would still be seen running.
    links.probe.refreshPeriod = 20ms;
    LiveProxy live(stream);
    SmoothScroller scroller(links, stream);
    scroller.addScroll(1.0, 0.5, 0.1, wheelEvent(1.0), live.proxy(), false);
    ASSERT_TRUE(links.waitAtGate());
    scroller.addScroll(1.0, 100.0, 0.3, wheelEvent(1.0), live.proxy(), false);
    scroller.stop();

    EXPECT_FALSE(scroller.isDisplayLinkRunning());
    EXPECT_EQ(scroller.glideState().targetPosition, 0.0);
    const std::size_t postedAtStop = stream.posted().size();
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(stream.posted().size(), postedAtStop) << "the stopped glide went on posting";
}

TEST(Race, StopsFromTheMainThreadDuringGlidesAreClean) {
    sim::SimEventStream stream;
    sim::SimDisplayLinkService links;
    links.setThreaded(20us);
    LiveProxy live(stream);
    SmoothScroller scroller(links, stream);
    for (int i = 0; i < 200; ++i) {
        scroller.addScroll(i % 3 == 0 ? -1.0 : 1.0, i % 3 == 0 ? -30.0 : 30.0, 0.2, wheelEvent(1.0),
                           live.proxy(), i % 2 == 0);
        std::this_thread::sleep_for(std::chrono::microseconds((i * 53) % 700));
        if (i % 5 == 4) {
            scroller.stop();
            // Nothing of the stopped glide may be posted after the stop has returned, except
            // by a glide a later hand-off starts.
            const std::size_t postedAtStop = stream.posted().size();
            std::this_thread::sleep_for(200us);
            EXPECT_EQ(stream.posted().size(), postedAtStop) << "round " << i;
            EXPECT_EQ(scroller.glideState().targetPosition, 0.0);
        }
    }
    for (const auto& [proxy, event] : stream.posted()) {
        const double amount = std::fabs(event.doubleValue(kCGScrollWheelEventPointDeltaAxis1)) +
                              std::fabs(event.doubleValue(kCGScrollWheelEventPointDeltaAxis2));
        ASSERT_GE(amount, 1.0) << "posts are made from one gathered point up";
    }
}

TEST(Race, DestroyingMidGlideOnAThreadedLinkIsClean) {
    sim::SimEventStream stream;
    sim::SimDisplayLinkService links;
    links.setThreaded(10us);
    LiveProxy live(stream);
    for (int round = 0; round < 50; ++round) {
        auto scroller = std::make_unique<SmoothScroller>(links, stream);
        scroller->addScroll(1.0, 1000.0, 0.05, wheelEvent(1.0), live.proxy(), false);
        std::this_thread::sleep_for(std::chrono::microseconds((round * 71) % 400));
        scroller.reset();
        const std::size_t postedAtDestruction = stream.posted().size();
        std::this_thread::sleep_for(100us);
        ASSERT_EQ(stream.posted().size(), postedAtDestruction) << "a frame ran after destruction";
    }
}

}  // namespace
}  // namespace glidewheel
