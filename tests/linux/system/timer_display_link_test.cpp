#include "platform/linux/timer_display_link.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <limits>
#include <set>
#include <string>
#include <thread>

namespace glidewheel::platform::linuxdesktop {
namespace {

using namespace std::chrono_literals;

// Generous bound for anything that must happen "soon" on a shared, noisy machine.
constexpr auto kPatience = 10s;

TEST(RefreshRate, ClampsToUsableRatesAndFallsBackWhenUnknown) {
    EXPECT_DOUBLE_EQ(clampedRefreshRateHz(144.0), 144.0);
    EXPECT_DOUBLE_EQ(clampedRefreshRateHz(59.94), 59.94);
    EXPECT_DOUBLE_EQ(clampedRefreshRateHz(30.0), 30.0);
    EXPECT_DOUBLE_EQ(clampedRefreshRateHz(360.0), 360.0);
    EXPECT_DOUBLE_EQ(clampedRefreshRateHz(24.0), 30.0);
    EXPECT_DOUBLE_EQ(clampedRefreshRateHz(1000.0), 360.0);
    EXPECT_DOUBLE_EQ(clampedRefreshRateHz(std::numeric_limits<double>::infinity()), 360.0);
    EXPECT_DOUBLE_EQ(clampedRefreshRateHz(0.0), 60.0);
    EXPECT_DOUBLE_EQ(clampedRefreshRateHz(-75.0), 60.0);
    EXPECT_DOUBLE_EQ(clampedRefreshRateHz(std::nan("")), 60.0);
}

TEST(RefreshRate, LateFramesSkipToTheNextPeriodInsteadOfCatchingUp) {
    // previous deadline, now, period -> next deadline
    EXPECT_EQ(nextDeadlineNs(1000, 1200, 1000), 2000);  // on time
    EXPECT_EQ(nextDeadlineNs(1000, 1999, 1000), 2000);
    EXPECT_EQ(nextDeadlineNs(1000, 2000, 1000), 3000);  // the next one is due now: skip it
    EXPECT_EQ(nextDeadlineNs(1000, 4500, 1000), 5000);  // 2.5 periods late: two skipped
    EXPECT_EQ(nextDeadlineNs(0, 16'666'667 * 10 + 5, 16'666'667), 16'666'667 * 11);
}

TEST(TimerDisplayLinkService, ReadsTheRefreshRateOnceForEachLink) {
    int reads = 0;
    double rate = 120.0;
    TimerDisplayLinkService service([&] {
        ++reads;
        return rate;
    });

    auto first = service.createWithActiveDisplays();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(reads, 1);
    rate = 0.0;  // unknown: the next link runs at 60 Hz
    auto second = service.createWithActiveDisplays();
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(reads, 2);

    EXPECT_EQ(static_cast<TimerDisplayLink&>(*first).periodNs(), 8'333'333);
    EXPECT_EQ(static_cast<TimerDisplayLink&>(*second).periodNs(), 16'666'667);
    EXPECT_FALSE(first->isRunning());
}

// Records what the link's thread sees; every field is touched from that thread.
struct Recorder {
    std::atomic<int> frames{0};
    std::atomic<std::int64_t> lastHostTimeNs{0};
    std::atomic<bool> stampsInOrder{true};
    std::atomic<std::uint64_t> lastFrame{0};
    std::chrono::milliseconds firstCallDelay{0};
    int stopAtFrame = 0;

    static CVReturn callback(DisplayLink* link, const DisplayTimeStamp* now,
                             const DisplayTimeStamp* output, std::uint64_t, std::uint64_t*,
                             void* context) {
        auto& self = *static_cast<Recorder*>(context);
        const int frame = ++self.frames;
        if (now->hostTimeNs < self.lastHostTimeNs || now->frame != self.lastFrame + 1 ||
            output->frame != now->frame + 1) {
            self.stampsInOrder = false;
        }
        self.lastHostTimeNs = now->hostTimeNs;
        self.lastFrame = now->frame;
        if (frame == 1 && self.firstCallDelay.count() > 0) {
            std::this_thread::sleep_for(self.firstCallDelay);
        }
        if (frame == self.stopAtFrame) link->stop();
        return kCVReturnSuccess;
    }
};

bool waitFor(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

TEST(TimerDisplayLink, RunsAboutOncePerPeriodAndNeverMoreOften) {
    TimerDisplayLink link(200.0);  // 5 ms
    Recorder recorder;
    link.setOutputCallback(&Recorder::callback, &recorder);

    const auto started = std::chrono::steady_clock::now();
    link.start();
    std::this_thread::sleep_for(300ms);
    link.stop();
    const double elapsedPeriods =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count() / 0.005;

    // Absolute deadlines one period apart allow at most one frame per elapsed period; the lower
    // bound only catches a link that hardly runs, whatever the load on the machine.
    EXPECT_LE(recorder.frames, elapsedPeriods + 1);
    EXPECT_GE(recorder.frames, 10);
    EXPECT_TRUE(recorder.stampsInOrder);
}

TEST(TimerDisplayLink, SkipsTheFramesASlowCallbackMissed) {
    TimerDisplayLink link(200.0);  // 5 ms
    Recorder recorder;
    recorder.firstCallDelay = 100ms;  // 20 periods
    link.setOutputCallback(&Recorder::callback, &recorder);

    const auto started = std::chrono::steady_clock::now();
    link.start();
    std::this_thread::sleep_for(250ms);
    link.stop();
    const double elapsedPeriods =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count() / 0.005;

    // Catching up would fire the 20 missed frames in a burst after the slow one.
    EXPECT_LE(recorder.frames, elapsedPeriods - 20 + 2);
    EXPECT_GE(recorder.frames, 2);
}

TEST(TimerDisplayLink, StopFromItsOwnCallbackTakesEffectAtOnce) {
    TimerDisplayLink link(360.0);
    Recorder recorder;
    recorder.stopAtFrame = 3;
    link.setOutputCallback(&Recorder::callback, &recorder);

    link.start();
    ASSERT_TRUE(waitFor([&] { return !link.isRunning(); }));
    std::this_thread::sleep_for(50ms);  // many periods: any further frame would show
    EXPECT_EQ(recorder.frames, 3);
}

TEST(TimerDisplayLink, StaysSilentWhileStoppedAndResumesOnStart) {
    TimerDisplayLink link(360.0);
    Recorder recorder;
    link.setOutputCallback(&Recorder::callback, &recorder);

    link.start();
    ASSERT_TRUE(waitFor([&] { return recorder.frames >= 3; }));
    link.stop();
    const int framesWhenStopped = recorder.frames;
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(recorder.frames, framesWhenStopped);

    link.start();
    EXPECT_TRUE(waitFor([&] { return recorder.frames > framesWhenStopped; }));
    EXPECT_TRUE(recorder.stampsInOrder);
}

TEST(TimerDisplayLink, StopFromAnotherThreadWaitsForARunningCallback) {
    struct Slow {
        std::atomic<bool> entered{false};
        std::atomic<bool> finished{false};
    } slow;
    TimerDisplayLink link(360.0);
    link.setOutputCallback(
        [](DisplayLink*, const DisplayTimeStamp*, const DisplayTimeStamp*, std::uint64_t,
           std::uint64_t*, void* context) {
            auto& state = *static_cast<Slow*>(context);
            if (state.entered.exchange(true)) return kCVReturnSuccess;
            std::this_thread::sleep_for(100ms);
            state.finished = true;
            return kCVReturnSuccess;
        },
        &slow);

    link.start();
    ASSERT_TRUE(waitFor([&] { return slow.entered.load(); }));
    link.stop();
    EXPECT_TRUE(slow.finished);
}

TEST(TimerDisplayLink, DestroyingARunningLinkWaitsForItsCallbackAndEndsTheCalls) {
    Recorder recorder;
    recorder.firstCallDelay = 100ms;
    auto link = std::make_unique<TimerDisplayLink>(360.0);
    link->setOutputCallback(&Recorder::callback, &recorder);
    link->start();
    ASSERT_TRUE(waitFor([&] { return recorder.frames >= 1; }));

    auto destroyed = std::async(std::launch::async, [&] { link.reset(); });
    ASSERT_EQ(destroyed.wait_for(kPatience), std::future_status::ready);
    const int framesAfterDestruction = recorder.frames;
    EXPECT_GE(framesAfterDestruction, 1);
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(recorder.frames, framesAfterDestruction);
}

// The ids of this process's threads.
std::set<std::string> threadIds() {
    std::set<std::string> ids;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) {
        ids.insert(entry.path().filename().string());
    }
    return ids;
}

// A field of /proc/self/task/<id>/status, such as "SigBlk" or "voluntary_ctxt_switches".
std::string taskStatusField(const std::string& id, const std::string& field) {
    std::ifstream status("/proc/self/task/" + id + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(field + ":", 0) == 0) {
            return line.substr(line.find_first_not_of(" \t", field.size() + 1));
        }
    }
    return {};
}

TEST(TimerDisplayLink, ItsThreadSleepsWithoutWakeupsWhenStoppedAndBlocksSignals) {
    const auto before = threadIds();
    TimerDisplayLink link(360.0);
    Recorder recorder;
    link.setOutputCallback(&Recorder::callback, &recorder);
    std::string id;
    for (const auto& candidate : threadIds()) {
        if (!before.contains(candidate)) id = candidate;
    }
    ASSERT_FALSE(id.empty());

    const unsigned long long blocked = std::stoull(taskStatusField(id, "SigBlk"), nullptr, 16);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGCHLD, SIGUSR1}) {
        EXPECT_TRUE(blocked & (1ULL << (signal - 1))) << "signal " << signal;
    }

    // Run a little, stop, then count the thread's context switches over a quiet spell: a thread
    // that wakes at 360 Hz would add dozens.
    link.start();
    ASSERT_TRUE(waitFor([&] { return recorder.frames >= 3; }));
    link.stop();
    std::this_thread::sleep_for(20ms);  // let a sleep already under way run out
    const auto switchesBefore = std::stoull(taskStatusField(id, "voluntary_ctxt_switches"));
    std::this_thread::sleep_for(200ms);
    const auto switchesAfter = std::stoull(taskStatusField(id, "voluntary_ctxt_switches"));
    EXPECT_EQ(switchesAfter, switchesBefore);
}

}  // namespace
}  // namespace glidewheel::platform::linuxdesktop
