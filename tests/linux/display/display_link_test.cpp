// SPDX-License-Identifier: MIT

// The display links: the timer link, the vblank link on a display the test drives, and the
// service that picks one.

#include "platform/linux/display/vblank_display_link.h"

#include <sys/eventfd.h>
#include <sys/resource.h>
#include <unistd.h>
#include <xf86drm.h>
#include <xf86drmMode.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <deque>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>

#include "platform/linux/base/unique_fd.h"
#include "platform/linux/display/drm_vblank_source.h"
#include "tests/support/frame_recorder.h"
#include "tests/support/thread_priority_probe.h"
#include "tests/support/wait_until.h"

namespace glidewheel::platform::linuxdesktop {
namespace {

using namespace std::chrono_literals;
using namespace testing;

// A field of a thread's /proc status, such as "voluntary_ctxt_switches".
std::string taskStatus(const std::string& thread, const std::string& field) {
    std::ifstream status("/proc/self/task/" + thread + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.starts_with(field + ":")) return line.substr(field.size() + 1);
    return {};
}

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
    TimerDisplayLink link(360.0);
    FrameRecorder recorder(/*stopAtFrame=*/3);
    recorder.attach(link);
    link.start();
    ASSERT_TRUE(waitUntil([&] { return !link.isRunning(); }));
    const std::string thread = recorder.thread();
    const auto blocked = std::stoull(taskStatus(thread, "SigBlk"), nullptr, 16);
    for (const int sig : {SIGINT, SIGTERM, SIGCHLD}) EXPECT_TRUE((blocked >> (sig - 1)) & 1) << sig;
    const auto nice = [&] { return getpriority(PRIO_PROCESS, std::stoul(thread)); };
    if (whyNoThreadCanBeRaised(kMousePathNice).empty()) {  // raised as the input thread is
        EXPECT_TRUE(waitUntil([&] { return nice() == kMousePathNice; })) << "nice " << nice();
    }

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
        const auto [called, now, output] = first.frames().front();
        EXPECT_GE(now.hostTimeNs - startNs, link.periodNs()) << pause.count();
        EXPECT_GE(output.hostTimeNs - now.hostTimeNs, 0) << pause.count();
        EXPECT_LE(output.hostTimeNs - now.hostTimeNs, link.periodNs()) << pause.count();
    }
}

// A display the test drives, as the link's vblank source: a vblank comes when the test fires
// one, to the request waiting.
class FakeDisplay final : public VblankSource {
public:
    std::atomic<int> requestError = 0;  // what requests get: 0 or an errno
    std::atomic<double> rateHz = 50.0;  // what the link reads at each start
    std::atomic<int> granted = 0;       // requests
    std::atomic<bool> waiting = false;  // a granted request awaits its vblank

    // One refresh; false when no request was waiting for it.
    bool fire(std::int64_t timeNs) {
        std::scoped_lock lock(mutex_);
        ++sequence_;
        if (!waiting) return false;
        deliver(timeNs);
        return true;
    }
    // The last vblank once more, as a driver may send it.
    void repeat(std::int64_t timeNs) {
        std::scoped_lock lock(mutex_);
        deliver(timeNs);
    }
    // Off: the waiting request gets the last vblank again, later ones EINVAL. Back on: granted.
    void switchOff() {
        std::scoped_lock lock(mutex_);
        requestError = EINVAL;
        if (waiting) deliver(0);
    }
    bool allRead() {
        std::scoped_lock lock(mutex_);
        return !waiting && arrived_.empty();
    }

    int fd() const override { return readable_.get().fd; }
    double followCrtc() override { return rateHz; }
    int requestNextVblank() override {
        std::scoped_lock lock(mutex_);
        if (requestError != 0) return requestError;
        EXPECT_FALSE(waiting) << "a second request while one waits";
        waiting = true;
        ++granted;
        return 0;
    }
    void readEvents(const OnVblank& onVblank) override {
        std::deque<std::pair<std::uint32_t, std::int64_t>> events;
        {
            std::scoped_lock lock(mutex_);
            std::uint64_t count;
            if (read(readable_.get().fd, &count, sizeof count) != 8) return;
            events.swap(arrived_);
        }
        for (const auto& [sequence, timeNs] : events) onVblank(sequence, timeNs);
    }

private:
    void deliver(std::int64_t timeNs) {
        waiting = false;
        arrived_.emplace_back(sequence_, timeNs);
        const std::uint64_t one = 1;
        EXPECT_EQ(write(readable_.get().fd, &one, sizeof one), 8);
    }

    std::mutex mutex_;
    std::uint32_t sequence_ = 0;
    std::deque<std::pair<std::uint32_t, std::int64_t>> arrived_;
    UniqueFd readable_ = adoptFd(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
};

struct LinkOnFakeDisplay {
    explicit LinkOnFakeDisplay(int stopAtFrame = 0) : frames(stopAtFrame) { frames.attach(link); }

    // Fires a vblank once the link waits for one, and waits for its frame.
    void vblank(std::int64_t timeNs) {
        ASSERT_TRUE(waitUntil([&] { return display.waiting.load(); }));
        const int before = frames.count();
        ASSERT_TRUE(display.fire(timeNs));
        ASSERT_TRUE(waitUntil([&] { return frames.count() > before; }));
    }
    // The last frame's stamps: now, output.
    std::pair<std::int64_t, std::int64_t> last() const {
        const FrameRecorder::Frame frame = frames.frames().back();
        return {frame.now.hostTimeNs, frame.output.hostTimeNs};
    }

    std::unique_ptr<FakeDisplay> made = std::make_unique<FakeDisplay>();
    FakeDisplay& display = *made;  // owned by the link from here on
    FrameRecorder frames;
    VblankDisplayLink link{std::move(made), 60.0};
};

constexpr std::int64_t kMs = 1'000'000;

// A vblank whose sequence number came before, as a driver may send, is no frame; nor is one
// that comes while the link is stopped.
TEST(VblankDisplayLink, PostsEachNewVblankAtItsKernelTimeAndReadsTheRateAtEveryStart) {
    LinkOnFakeDisplay fake;
    fake.link.start();
    fake.vblank(1000 * kMs);
    EXPECT_EQ(fake.last(), std::make_pair(1000 * kMs, 1020 * kMs));  // 50 Hz
    EXPECT_FALSE(fake.link.onTimer());
    ASSERT_TRUE(waitUntil([&] { return fake.display.waiting.load(); }));
    fake.display.repeat(1001 * kMs);
    ASSERT_TRUE(waitUntil([&] { return fake.display.granted.load() == 3; }));  // read, re-requested

    fake.link.stop();
    fake.display.rateHz = 100.0;  // a mode change while stopped; read at the next start
    ASSERT_TRUE(fake.display.fire(1020 * kMs));  // the request made before the stop
    ASSERT_TRUE(waitUntil([&] { return fake.display.allRead(); }));
    fake.link.start();
    fake.vblank(1060 * kMs);
    EXPECT_EQ(fake.last(), std::make_pair(1060 * kMs, 1070 * kMs));
    EXPECT_EQ(fake.frames.count(), 2)
        << "the repeated vblank or the one while stopped made a frame";

    fake.link.stop();
    fake.display.rateHz = 1e9;  // a broken mode: clamped as a timer's rate is
    ASSERT_TRUE(fake.display.fire(1080 * kMs));
    ASSERT_TRUE(waitUntil([&] { return fake.display.allRead(); }));
    fake.link.start();
    fake.vblank(2000 * kMs);
    EXPECT_EQ(fake.last().second - fake.last().first, std::llround(1e9 / 360));
}

// Display off (EINVAL), no vblank interrupts (EOPNOTSUPP), or vblanks that stop coming: the
// frames go on from the timer, and come from the vblanks again, at the mode's rate then, once
// a request is granted.
TEST(VblankDisplayLink, WithoutVblanksTheTimerPacesUntilTheyComeBack) {
    enum class Dark { switchedOff, unsupported, quiet };
    for (const Dark dark : {Dark::switchedOff, Dark::unsupported, Dark::quiet}) {
        SCOPED_TRACE(static_cast<int>(dark));
        LinkOnFakeDisplay fake;
        fake.link.start();
        fake.vblank(1000 * kMs);
        ASSERT_TRUE(waitUntil([&] { return fake.display.waiting.load(); }));
        if (dark == Dark::switchedOff) fake.display.switchOff();
        if (dark == Dark::unsupported) {
            fake.display.requestError = EOPNOTSUPP;
            fake.vblank(1020 * kMs);  // the last one granted
        }
        ASSERT_TRUE(waitUntil([&] { return fake.link.onTimer(); }));
        const auto onTimer = fake.frames.count();
        const std::int64_t timerFrom = monotonicNowNs() - 200 * kMs;
        ASSERT_TRUE(waitUntil([&] { return fake.frames.count() >= onTimer + 3; }));
        EXPECT_GT(fake.last().first, timerFrom) << "timer frames carry the clock's time";
        EXPECT_GT(fake.last().second, fake.last().first);

        fake.display.rateHz = 100.0;  // back in another mode
        fake.display.requestError = 0;
        if (dark == Dark::quiet) fake.display.fire(5000 * kMs);  // the long-awaited vblank
        ASSERT_TRUE(waitUntil([&] { return !fake.link.onTimer(); }));
        fake.vblank(6000 * kMs);
        EXPECT_EQ(fake.last(), std::make_pair(6000 * kMs, 6010 * kMs));
    }
}

TEST(VblankDisplayLink, StoppedFromItsCallbackItTakesThePendingVblankThenParks) {
    LinkOnFakeDisplay fake(/*stopAtFrame=*/2);
    fake.link.start();
    fake.vblank(1000 * kMs);
    fake.vblank(1020 * kMs);
    const std::string thread = fake.frames.thread();
    ASSERT_TRUE(waitUntil([&] { return !fake.link.isRunning(); }));       // stopped by frame 2
    ASSERT_TRUE(waitUntil([&] { return fake.display.waiting.load(); }));  // asked before frame 2
    ASSERT_TRUE(fake.display.fire(1040 * kMs));
    ASSERT_TRUE(waitUntil([&] { return fake.display.allRead(); }));
    const int granted = fake.display.granted.load();
    std::this_thread::sleep_for(20ms);  // the event is read, the thread goes to park
    const auto switches = taskStatus(thread, "voluntary_ctxt_switches");
    std::this_thread::sleep_for(150ms);  // longer than the link waits for a quiet display
    EXPECT_EQ(taskStatus(thread, "voluntary_ctxt_switches"), switches) << "woke while parked";
    EXPECT_EQ(fake.display.granted.load(), granted);
    EXPECT_EQ(fake.frames.count(), 2);
    EXPECT_FALSE(fake.link.onTimer()) << "a parked link runs no timer";

    fake.link.start();
    fake.vblank(1100 * kMs);
    EXPECT_EQ(fake.last().first, 1100 * kMs);
}

TEST(VblankDisplayLinkService, PicksVblankWhereASourceOpensElseATimerAndSaysWhich) {
    const struct {
        bool sourceOpens;
        double screenHz;
        const char* logged;
    } cases[] = {
        {true, 75.0, "glidewheel: display link: vblank events of /dev/dri/card7 CRTC 3\n"},
        {false, 1000.0, "glidewheel: display link: a 360.00 Hz timer (no card here)\n"},
    };
    for (const auto& c : cases) {
        VblankDisplayLinkService service([&] { return c.screenHz; },
                                         [&](std::string& note) {
                                             note = c.sourceOpens ? "/dev/dri/card7 CRTC 3"
                                                                  : "no card here";
                                             return c.sourceOpens ? std::make_unique<FakeDisplay>()
                                                                  : nullptr;
                                         });
        ::testing::internal::CaptureStderr();
        const auto link = service.createWithActiveDisplays();
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), c.logged);
        if (c.sourceOpens) {
            EXPECT_NE(dynamic_cast<VblankDisplayLink*>(link.get()), nullptr);
        } else {
            const auto* timer = dynamic_cast<TimerDisplayLink*>(link.get());
            ASSERT_NE(timer, nullptr);
            EXPECT_EQ(timer->periodNs(), std::llround(1e9 / 360));
        }
    }
}

TEST(DrmVblankSource, CardsThatCannotBeOpenedOrAreNoDisplaysAreNoSource) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("glidewheel-dri-" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    std::string note;
    EXPECT_EQ(openDrmVblankSource(dir, note), nullptr);
    EXPECT_EQ(note, "no DRM card in " + dir.string());

    fs::create_symlink(dir / "gone", dir / "card0");  // cannot be opened
    std::ofstream(dir / "card1") << "not a card";     // opens, but answers no DRM calls
    std::ofstream(dir / "renderD128") << "not looked at";
    EXPECT_EQ(openDrmVblankSource(dir, note), nullptr);
    EXPECT_EQ(note, (dir / "card0").string() + ": No such file or directory; " +
                        (dir / "card1").string() + ": Inappropriate ioctl for device");
    fs::remove_all(dir);
}

TEST(DrmVblankSource, ModeRatesAndCrtcSelection) {
    const struct {
        std::uint32_t clock;
        std::uint16_t htotal, vtotal, vscan;
        std::uint32_t flags;
        double hz;
    } modes[] = {
        {148352, 2200, 1125, 0, 0, 59.94},
        {74250, 2200, 1125, 0, DRM_MODE_FLAG_INTERLACE, 60.0},  // 1080i: 60 fields
        {25175, 800, 525, 0, DRM_MODE_FLAG_DBLSCAN, 29.97},
        {25175, 800, 525, 2, 0, 29.97},
        {25175, 0, 525, 0, 0, 0.0},
    };
    for (const auto& m : modes)
        EXPECT_NEAR(modeRefreshRateHz(m.clock, m.htotal, m.vtotal, m.vscan, m.flags), m.hz, 0.005)
            << m.clock << " " << m.flags;

    EXPECT_EQ(vblankCrtcSelect(0), 0u);
    EXPECT_EQ(vblankCrtcSelect(1), std::uint32_t{DRM_VBLANK_SECONDARY});
    for (const int index : {2, 5, 31})
        EXPECT_EQ((vblankCrtcSelect(index) & DRM_VBLANK_HIGH_CRTC_MASK) >>
                      DRM_VBLANK_HIGH_CRTC_SHIFT,
                  static_cast<std::uint32_t>(index));
}

}  // namespace
}  // namespace glidewheel::platform::linuxdesktop
