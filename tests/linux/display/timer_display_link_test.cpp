// SPDX-License-Identifier: MIT

#include "platform/linux/display/timer_display_link.h"

#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <thread>

#include "tests/linux/display/link_thread_support.h"
#include "tests/support/frame_recorder.h"
#include "tests/support/wait_until.h"

namespace glidewheel::platform::linuxdesktop {
namespace {

using namespace std::chrono_literals;
using testing::FrameRecorder;
using testing::waitUntil;

TEST(TimerDisplayLink, RateIsClampedAndLateFramesSkipAhead) {
    const std::pair<double, double> rates[] = {{144.0, 144.0},    {24.0, 30.0},  {1000.0, 360.0},
                                               {INFINITY, 360.0}, {-75.0, 60.0}, {NAN, 60.0}};
    for (const auto& [reported, used] : rates) EXPECT_EQ(clampedRefreshRateHz(reported), used);
    EXPECT_EQ(TimerDisplayLink(0.0).periodNs(), 16'666'667);  // unknown: 60 Hz

    EXPECT_EQ(nextDeadlineNs(1000, 1999, 1000), 2000);  // on time
    EXPECT_EQ(nextDeadlineNs(1000, 2000, 1000), 3000);  // the next one is due now: skipped
    EXPECT_EQ(nextDeadlineNs(1000, 4500, 1000), 5000);  // 2.5 periods late: two skipped
}

TEST(TimerDisplayLink, StopsFromItsOwnCallbackThenParksWithoutWakeupsUntilStarted) {
    const auto before = threadIds();
    TimerDisplayLink link(360.0);
    const std::string thread = newThreadSince(before);
    const auto blocked = std::stoull(taskStatus(thread, "SigBlk"), nullptr, 16);
    for (const int sig : {SIGINT, SIGTERM, SIGCHLD}) EXPECT_TRUE((blocked >> (sig - 1)) & 1) << sig;

    FrameRecorder recorder(/*stopAtFrame=*/3);
    recorder.attach(link);
    link.start();
    ASSERT_TRUE(waitUntil([&] { return !link.isRunning(); }));
    std::this_thread::sleep_for(20ms);  // a sleep already under way runs out
    const auto switches = taskStatus(thread, "voluntary_ctxt_switches");
    std::this_thread::sleep_for(200ms);  // at 360 Hz a live thread would wake dozens of times
    EXPECT_EQ(taskStatus(thread, "voluntary_ctxt_switches"), switches);
    EXPECT_EQ(recorder.count(), 3);
    link.start();
    EXPECT_TRUE(waitUntil([&] { return recorder.count() > 3; }));
}

TEST(TimerDisplayLink, StopAndDestructionFromAnotherThreadWaitForARunningCallback) {
    for (const bool destroy : {false, true}) {
        FrameRecorder recorder(/*stopAtFrame=*/0, /*firstFrameDelay=*/100ms);
        auto link = std::make_unique<TimerDisplayLink>(360.0);
        recorder.attach(*link);
        link->start();
        ASSERT_TRUE(waitUntil([&] { return recorder.count() == 1; }));
        destroy ? link.reset() : link->stop();
        // Returning early would leave the callback running on a link that may be gone.
        EXPECT_TRUE(recorder.firstFrameDone()) << destroy;
        const int frames = recorder.count();
        std::this_thread::sleep_for(30ms);
        EXPECT_EQ(recorder.count(), frames);
    }
}

// The first frame of a link started at once after it is made, and of a link started later,
// comes one period after start(), and its output time is the refresh after that.
TEST(TimerDisplayLink, FirstFrameComesOnePeriodAfterStart) {
    for (const auto pause : {0ms, 0ms, 0ms, 20ms}) {
        FrameRecorder first(/*stopAtFrame=*/1);
        TimerDisplayLink link(30.0);  // 33 ms: far longer than a thread takes to wake
        first.attach(link);
        std::this_thread::sleep_for(pause);
        const std::int64_t startNs = monotonicNowNs();
        link.start();
        ASSERT_TRUE(waitUntil([&] { return first.count() == 1; }));
        const auto [calledNs, now, output] = first.frames().front();
        EXPECT_GE(now.hostTimeNs - startNs, link.periodNs()) << pause.count();
        EXPECT_GE(output.hostTimeNs - now.hostTimeNs, 0) << pause.count();
        EXPECT_LE(output.hostTimeNs - now.hostTimeNs, link.periodNs()) << pause.count();
    }
}

}  // namespace
}  // namespace glidewheel::platform::linuxdesktop
