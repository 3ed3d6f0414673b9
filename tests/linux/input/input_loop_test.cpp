// SPDX-License-Identifier: MIT

// The input thread's loop: watches on pipes, tasks handed over from another thread, deadlines;
// the input thread's priority; and the rate limit of the input backend's log lines.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <future>
#include <vector>

#include "platform/linux/input/evdev_event_tap.h"
#include "platform/linux/input/input_loop.h"
#include "platform/linux/input/rate_limited_log.h"
#include "tests/support/thread_priority_probe.h"
#include "tests/support/wait_until.h"

namespace glidewheel::platform::linuxdesktop {
namespace {

using namespace std::chrono_literals;
using Clock = InputLoop::Clock;
using Verdict = RateLimit::Verdict;

struct Pipe {
    int fds[2];
    Pipe() { EXPECT_EQ(::pipe2(fds, O_NONBLOCK | O_CLOEXEC), 0); }
    ~Pipe() { ::close(fds[0]), ::close(fds[1]); }
    void put() { EXPECT_EQ(::write(fds[1], "x", 1), 1); }
};

TEST(InputLoop, TasksRunInOrderOnTheInputThreadWhereWaitingRunsThemAtOnceAndWatchesMayEnd) {
    InputLoop loop;
    EXPECT_FALSE(loop.isInputThread());
    std::vector<int> order;  // input thread only until the last wait
    const auto now = Clock::now();
    loop.postAt(now + 60ms, [&] { order.push_back(4); });
    loop.postAt(now + 30ms, [&] { order.push_back(2); });
    loop.postAt(now + 30ms, [&] { order.push_back(3); });
    loop.post([&] { order.push_back(1); });
    bool inline_ = false;
    loop.runAndWait([&] { loop.runAndWait([&] { inline_ = loop.isInputThread(); }); });
    std::promise<Clock::time_point> last;
    loop.postAt(now + 60ms, [&] { last.set_value(Clock::now()); });
    const Clock::time_point ranAt = last.get_future().get();
    loop.runAndWait([] {});
    EXPECT_TRUE(inline_);
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4}));
    EXPECT_GE(ranAt, now + 60ms) << "a task ran before its deadline";

    // A watch may destroy itself from its handler. A disabled watch is never called: the race
    // test checks that against a stream of frames.
    Pipe pipe;
    pipe.put();  // never read: the watch fires for as long as it lives
    int calls = 0;
    std::unique_ptr<InputLoop::Watch> watch;
    loop.runAndWait(
        [&] { watch = loop.watchReadable(pipe.fds[0], [&] { ++calls, watch.reset(); }); });
    std::this_thread::sleep_for(50ms);
    loop.runAndWait([&] { EXPECT_EQ(calls, 1) << "called again after destroying its watch"; });
}

// Directly with the privilege (as root), else through RealtimeKit (e2e.rtkit runs this as a
// person without it). Where neither can raise a thread there is nothing to see.
TEST(InputThread, RunsAboveOrdinaryPrograms) {
    if (const std::string why = testing::whyNoThreadCanBeRaised(kMousePathNice); !why.empty())
        GTEST_SKIP() << "no thread can be raised here: " << why;
    EvdevEventTapService service;
    pid_t inputThread = 0;
    service.inputLoop().runAndWait([&] { inputThread = gettid(); });
    const auto nice = [&] { return getpriority(PRIO_PROCESS, static_cast<id_t>(inputThread)); };
    EXPECT_TRUE(testing::waitUntil([&] { return nice() == kMousePathNice; })) << "nice " << nice();
    // A thread it starts (the display link's) begins at the normal priority, however it was raised.
    int started = kMousePathNice;
    service.inputLoop().runAndWait(
        [&] { std::thread([&] { started = getpriority(PRIO_PROCESS, 0); }).join(); });
    EXPECT_EQ(started, 0);
}

// The limit on the input backend's log lines (per mouse for lost events, shared for the rest).
TEST(RateLimit, PassesABurstPerIntervalMarksItsLastAndStartsAgainAfterTheInterval) {
    const RateLimit::Clock::time_point start{100s};
    const struct {
        RateLimit::Clock::duration after;
        Verdict verdict;
    } cases[] = {
        {0s, Verdict::pass},     {1s, Verdict::pass},      {2s, Verdict::passLast},
        {3s, Verdict::suppress}, {29s, Verdict::suppress}, {30s, Verdict::pass},
        {31s, Verdict::pass},    {32s, Verdict::passLast}, {33s, Verdict::suppress},
    };
    RateLimit limit(3, 30s);
    for (const auto& c : cases)
        EXPECT_EQ(limit.check(start + c.after), c.verdict) << "after " << c.after.count() << " ns";
}

}  // namespace
}  // namespace glidewheel::platform::linuxdesktop
