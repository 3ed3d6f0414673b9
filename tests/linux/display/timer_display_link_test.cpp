// SPDX-License-Identifier: MIT

#include "platform/linux/display/timer_display_link.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <csignal>
#include <thread>

#include "tests/linux/display/link_thread_support.h"

namespace glidewheel::platform::linuxdesktop {
namespace {

using namespace std::chrono_literals;

TEST(TimerDisplayLink, RateIsClampedAndLateFramesSkipAhead) {
    const std::pair<double, double> rates[] = {{144.0, 144.0},    {24.0, 30.0},  {1000.0, 360.0},
                                               {INFINITY, 360.0}, {-75.0, 60.0}, {NAN, 60.0}};
    for (const auto& [reported, used] : rates) EXPECT_EQ(clampedRefreshRateHz(reported), used);
    EXPECT_EQ(TimerDisplayLink(120.0).periodNs(), 8'333'333);
    EXPECT_EQ(TimerDisplayLink(0.0).periodNs(), 16'666'667);  // unknown: 60 Hz

    EXPECT_EQ(nextDeadlineNs(1000, 1999, 1000), 2000);  // on time
    EXPECT_EQ(nextDeadlineNs(1000, 2000, 1000), 3000);  // the next one is due now: skipped
    EXPECT_EQ(nextDeadlineNs(1000, 4500, 1000), 5000);  // 2.5 periods late: two skipped
}

// Counts a link's frames; the first can be made slow, and one can stop the link.
struct Recorder {
    std::atomic<int> frames{0};
    std::atomic<bool> firstDone{false};
    std::chrono::milliseconds firstDelay;
    int stopAt;

    static CVReturn callback(DisplayLink* link, const DisplayTimeStamp*, const DisplayTimeStamp*,
                             std::uint64_t, std::uint64_t*, void* context) {
        auto& self = *static_cast<Recorder*>(context);
        const int frame = ++self.frames;
        if (frame == 1) std::this_thread::sleep_for(self.firstDelay), self.firstDone = true;
        if (frame == self.stopAt) link->stop();
        return kCVReturnSuccess;
    }
};

TEST(TimerDisplayLink, StopsFromItsOwnCallbackThenParksWithoutWakeupsUntilStarted) {
    const auto before = threadIds();
    TimerDisplayLink link(360.0);
    const std::string thread = newThreadSince(before);
    const auto blocked = std::stoull(taskStatus(thread, "SigBlk"), nullptr, 16);
    for (const int sig : {SIGINT, SIGTERM, SIGCHLD}) EXPECT_TRUE((blocked >> (sig - 1)) & 1) << sig;

    Recorder recorder{.firstDelay = 0ms, .stopAt = 3};
    link.setOutputCallback(&Recorder::callback, &recorder);
    link.start();
    ASSERT_TRUE(eventually([&] { return !link.isRunning(); }));
    std::this_thread::sleep_for(20ms);  // a sleep already under way runs out
    const auto switches = taskStatus(thread, "voluntary_ctxt_switches");
    std::this_thread::sleep_for(200ms);  // at 360 Hz a live thread would wake dozens of times
    EXPECT_EQ(taskStatus(thread, "voluntary_ctxt_switches"), switches);
    EXPECT_EQ(recorder.frames, 3);
    link.start();
    EXPECT_TRUE(eventually([&] { return recorder.frames > 3; }));
}

TEST(TimerDisplayLink, StopAndDestructionFromAnotherThreadWaitForARunningCallback) {
    for (const bool destroy : {false, true}) {
        Recorder recorder{.firstDelay = 100ms, .stopAt = 0};
        auto link = std::make_unique<TimerDisplayLink>(360.0);
        link->setOutputCallback(&Recorder::callback, &recorder);
        link->start();
        ASSERT_TRUE(eventually([&] { return recorder.frames == 1; }));
        destroy ? link.reset() : link->stop();
        // Returning early would leave the callback running on a link that may be gone.
        EXPECT_TRUE(recorder.firstDone) << destroy;
        const int frames = recorder.frames;
        std::this_thread::sleep_for(30ms);
        EXPECT_EQ(recorder.frames, frames);
    }
}

// The first frame of a link started at once after it is made, and of a link started later,
// comes one period after start(), and its output time is the refresh after that.
TEST(TimerDisplayLink, FirstFrameComesOnePeriodAfterStart) {
    struct FirstFrame {
        std::atomic<std::int64_t> nowNs{0}, outputNs{0};
        static CVReturn callback(DisplayLink* link, const DisplayTimeStamp* now,
                                 const DisplayTimeStamp* output, std::uint64_t, std::uint64_t*,
                                 void* context) {
            auto& self = *static_cast<FirstFrame*>(context);
            self.outputNs = output->hostTimeNs;
            self.nowNs = now->hostTimeNs;
            link->stop();
            return kCVReturnSuccess;
        }
    };
    for (const auto pause : {0ms, 0ms, 0ms, 20ms}) {
        FirstFrame first;
        TimerDisplayLink link(30.0);  // 33 ms: far longer than a thread takes to wake
        link.setOutputCallback(&FirstFrame::callback, &first);
        std::this_thread::sleep_for(pause);
        const std::int64_t startNs = monotonicNowNs();
        link.start();
        ASSERT_TRUE(eventually([&] { return first.nowNs != 0; }));
        EXPECT_GE(first.nowNs - startNs, link.periodNs()) << pause.count();
        EXPECT_GE(first.outputNs - first.nowNs, 0) << pause.count();
        EXPECT_LE(first.outputNs - first.nowNs, link.periodNs()) << pause.count();
    }
}

}  // namespace
}  // namespace glidewheel::platform::linuxdesktop
