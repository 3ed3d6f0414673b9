// SPDX-License-Identifier: MIT

// The vblank display link on a real kernel's virtual display (vkms): a test compositor in a
// process of its own holds the card as master and shows a 59.94 Hz mode; the link runs in this
// process, which is not master, as the program would beside a desktop.

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xf86drm.h>
#include <xf86drmMode.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/linux/base/unique_fd.h"
#include "platform/linux/display/drm_vblank_source.h"
#include "platform/linux/display/timer_display_link.h"
#include "platform/linux/display/vblank_display_link.h"

namespace glidewheel::devicetest {
namespace {

using namespace std::chrono_literals;
using namespace platform;
using namespace platform::linuxdesktop;

constexpr char kCard[] = "/dev/dri/card0";
constexpr std::int64_t kNsPerSecond = 1'000'000'000;

// Why there is no display to test on; empty when there is one.
std::string noDisplay() {
    if (std::filesystem::exists(kCard)) return {};
    std::ifstream why("/display-missing");  // written by run_vm.sh
    std::string line;
    if (std::getline(why, line)) return line;
    return std::string("no ") + kCard + " (the device-test VM loads vkms)";
}

#define SKIP_WITHOUT_DISPLAY() \
    if (const std::string why = noDisplay(); !why.empty()) GTEST_SKIP() << why

// The compositor's side, in the child process: answers every command with '1' (done) or '0'.
[[noreturn]] void serveAsCompositor(int commands, int answers) {
    const auto answer = [&](bool done) {
        const char reply = done ? '1' : '0';
        if (write(answers, &reply, 1) != 1) _exit(1);
    };
    const int card = open(kCard, O_RDWR | O_CLOEXEC);
    drmModeRes* resources = card >= 0 ? drmModeGetResources(card) : nullptr;
    std::uint32_t connector = 0;
    for (int i = 0; resources != nullptr && i < resources->count_connectors && !connector; ++i) {
        drmModeConnector* c = drmModeGetConnector(card, resources->connectors[i]);
        if (c != nullptr && c->connection == DRM_MODE_CONNECTED) connector = c->connector_id;
        drmModeFreeConnector(c);
    }
    drm_mode_create_dumb dumb{};
    dumb.height = 480;
    dumb.width = 640;
    dumb.bpp = 32;
    std::uint32_t framebuffer = 0;
    const bool ready =
        connector != 0 && drmIsMaster(card) &&
        drmIoctl(card, DRM_IOCTL_MODE_CREATE_DUMB, &dumb) == 0 &&
        drmModeAddFB(card, 640, 480, 24, 32, dumb.pitch, dumb.handle, &framebuffer) == 0;
    const std::uint32_t crtc = ready ? resources->crtcs[0] : 0;
    // VGA's 640x480 timing: 25.175 MHz over 800 x 525 pixels, 59.94 Hz.
    drmModeModeInfo mode{.clock = 25175,
                         .hdisplay = 640,
                         .hsync_start = 656,
                         .hsync_end = 752,
                         .htotal = 800,
                         .hskew = 0,
                         .vdisplay = 480,
                         .vsync_start = 490,
                         .vsync_end = 492,
                         .vtotal = 525,
                         .vscan = 0,
                         .vrefresh = 60,
                         .flags = DRM_MODE_FLAG_NHSYNC | DRM_MODE_FLAG_NVSYNC,
                         .type = DRM_MODE_TYPE_USERDEF,
                         .name = "640x480"};
    const auto on = [&] {
        return drmModeSetCrtc(card, crtc, framebuffer, 0, 0, &connector, 1, &mode) == 0;
    };
    const auto off = [&] { return drmModeSetCrtc(card, crtc, 0, 0, 0, nullptr, 0, nullptr) == 0; };
    answer(ready && on());
    for (char command; read(commands, &command, 1) == 1;) {
        switch (command) {
            case 'd': answer(drmDropMaster(card) == 0); break;
            case 'm': answer(drmSetMaster(card) == 0); break;
            case 'f': answer(off()); break;
            case 'n': answer(on()); break;
            default: _exit(0);
        }
    }
    _exit(0);
}

// A test compositor in a process of its own: opens the card first, so the kernel makes it the
// master, and shows 640x480 at 59.94 Hz; on command drops or takes back master and switches the
// display off and on.
class TestCompositor {
public:
    TestCompositor() {
        int down[2], up[2];
        if (pipe2(down, O_CLOEXEC) != 0 || pipe2(up, O_CLOEXEC) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            close(down[1]);
            close(up[0]);
            serveAsCompositor(down[0], up[1]);
        }
        close(down[0]);
        close(up[1]);
        commands_ = adoptFd(down[1]);
        answers_ = adoptFd(up[0]);
        ready_ = answer();
    }
    ~TestCompositor() {
        commands_.reset();  // end of commands: the child exits and its card closes
        if (pid_ > 0) waitpid(pid_, nullptr, 0);
    }
    bool ready() const { return ready_; }
    // 'd' drop master, 'm' take it back, 'f' display off, 'n' display on. True when done.
    bool command(char command) { return write(commands_.get().fd, &command, 1) == 1 && answer(); }

private:
    bool answer() {
        char reply = '0';
        return read(answers_.get().fd, &reply, 1) == 1 && reply == '1';
    }

    pid_t pid_ = -1;
    UniqueFd commands_, answers_;
    bool ready_ = false;
};

// One vblank as the kernel numbers and times it.
struct Vblank {
    std::uint32_t sequence;
    std::int64_t timeNs;
};

// The display's own vblanks, from blocking waits on a descriptor of its own. Under emulation
// the waiting thread now and then wakes too late for the next vblank: the sequence numbers
// show which were missed.
class VblankClock {
public:
    VblankClock() : card_(adoptFd(open(kCard, O_RDWR | O_CLOEXEC))), thread_([this] { run(); }) {}
    ~VblankClock() {
        stop_ = true;
        thread_.join();
    }
    std::vector<Vblank> vblanks() {
        std::scoped_lock lock(mutex_);
        return vblanks_;
    }

private:
    void run() {
        while (!stop_) {
            drmVBlank wait{};
            wait.request.type = DRM_VBLANK_RELATIVE;
            wait.request.sequence = 1;
            if (drmWaitVBlank(card_.get().fd, &wait) != 0) return;
            std::scoped_lock lock(mutex_);
            vblanks_.push_back(
                {wait.reply.sequence, std::int64_t{wait.reply.tval_sec} * kNsPerSecond +
                                          std::int64_t{wait.reply.tval_usec} * 1000});
        }
    }

    UniqueFd card_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<Vblank> vblanks_;
    std::thread thread_;
};

// When a link posted its frames (the clock when the callback ran) and the stamps it gave them.
struct Posts {
    std::mutex mutex;
    std::vector<std::int64_t> at, stamped;

    static CVReturn callback(DisplayLink*, const DisplayTimeStamp* now, const DisplayTimeStamp*,
                             std::uint64_t, std::uint64_t*, void* context) {
        auto& self = *static_cast<Posts*>(context);
        const std::int64_t when = monotonicNowNs();
        std::scoped_lock lock(self.mutex);
        self.at.push_back(when);
        self.stamped.push_back(now->hostTimeNs);
        return kCVReturnSuccess;
    }
    std::size_t count() {
        std::scoped_lock lock(mutex);
        return at.size();
    }
};

// Display refreshes that saw no post, and those that saw two or more.
struct Judder {
    int refreshes = 0, empty = 0, doubled = 0;
};

// Counts the posts between each vblank and the next, over the refreshes between the first and
// the last post whose two vblanks were both seen.
Judder judder(const std::vector<Vblank>& vblanks, std::vector<std::int64_t> posts) {
    Judder result;
    std::sort(posts.begin(), posts.end());
    if (posts.empty()) return result;
    for (std::size_t i = 0; i + 1 < vblanks.size(); ++i) {
        const Vblank& from = vblanks[i];
        const Vblank& to = vblanks[i + 1];
        if (to.sequence != from.sequence + 1) continue;
        if (from.timeNs < posts.front() || to.timeNs > posts.back()) continue;
        const auto n = std::lower_bound(posts.begin(), posts.end(), to.timeNs) -
                       std::lower_bound(posts.begin(), posts.end(), from.timeNs);
        ++result.refreshes;
        result.empty += n == 0;
        result.doubled += n >= 2;
    }
    return result;
}

std::unique_ptr<VblankSource> openCard() {
    std::string note;
    auto source = openDrmVblankSource("/dev/dri", note);
    EXPECT_NE(source, nullptr) << note;
    return source;
}

bool eventually(const std::function<bool()>& condition) {
    for (auto deadline = std::chrono::steady_clock::now() + 10s; !condition();
         std::this_thread::sleep_for(5ms))
        if (std::chrono::steady_clock::now() > deadline) return false;
    return true;
}

// The first opener of a card without a master becomes master; the link gives it up at once,
// so that a compositor opening the card next becomes master as if the link were not there.
TEST(VblankDevice, FirstOpenerGivesUpMasterAtOnce) {
    SKIP_WITHOUT_DISPLAY();
    const auto source = openCard();
    ASSERT_NE(source, nullptr);
    EXPECT_FALSE(drmIsMaster(source->fd()));
    const UniqueFd compositor = adoptFd(open(kCard, O_RDWR | O_CLOEXEC));
    EXPECT_TRUE(drmIsMaster(compositor.get().fd));
}

// Over 10 s of a 59.94 Hz display, each vblank gets the vblank link's frame at the kernel's
// vblank time: no refresh sees two posts and at most 1 % see none. A 60 Hz timer link runs
// alongside, for comparison.
TEST(VblankDevice, PostsOncePerRefreshOfA5994HzDisplayAsASecondNonMasterProcess) {
    SKIP_WITHOUT_DISPLAY();
    TestCompositor compositor;
    ASSERT_TRUE(compositor.ready());
    auto source = openCard();
    ASSERT_NE(source, nullptr);
    EXPECT_FALSE(drmIsMaster(source->fd()));
    VblankClock clock;
    Posts onVblank, onTimer;
    VblankDisplayLink vblankLink(std::move(source), 60.0);
    TimerDisplayLink timerLink(60.0);
    vblankLink.setOutputCallback(&Posts::callback, &onVblank);
    timerLink.setOutputCallback(&Posts::callback, &onTimer);
    vblankLink.start();
    timerLink.start();
    std::this_thread::sleep_for(10s);
    vblankLink.stop();
    timerLink.stop();
    EXPECT_FALSE(vblankLink.onTimer());

    const auto vblanks = clock.vblanks();
    ASSERT_GE(vblanks.size(), 2u);
    const double rateHz = (vblanks.back().sequence - vblanks.front().sequence) * 1e9 /
                          (vblanks.back().timeNs - vblanks.front().timeNs);
    const Judder link = judder(vblanks, onVblank.at);
    const Judder timer = judder(vblanks, onTimer.at);
    const auto percent = [](int n, const Judder& of) {
        return 100.0 * n / std::max(of.refreshes, 1);
    };
    std::printf(
        "judder at %.3f Hz over %d refreshes: vblank link %d doubled (%.2f %%), %d empty "
        "(%.2f %%); 60 Hz timer link %d doubled (%.2f %%), %d empty (%.2f %%)\n",
        rateHz, link.refreshes, link.doubled, percent(link.doubled, link), link.empty,
        percent(link.empty, link), timer.doubled, percent(timer.doubled, timer), timer.empty,
        percent(timer.empty, timer));
    EXPECT_NEAR(rateHz, 59.94, 0.005);
    EXPECT_GE(link.refreshes, 500) << "too few refreshes seen whole";
    EXPECT_EQ(link.doubled, 0);
    EXPECT_LE(link.empty, link.refreshes / 100);

    std::set<std::int64_t> kernelTimes;
    for (const Vblank& vblank : vblanks) kernelTimes.insert(vblank.timeNs);
    int foreign = 0;
    for (const std::int64_t stamp : onVblank.stamped) foreign += !kernelTimes.contains(stamp);
    // The clock misses a vblank now and then (above), and may start after the link.
    EXPECT_LE(foreign, static_cast<int>(onVblank.stamped.size() - link.refreshes) + 2)
        << "frames not stamped with a vblank's time";
}

// The compositor dropping and taking back master leaves the link on the vblanks; switching the
// display off hands the frames to the timer, and switching it on again back to the vblanks.
TEST(VblankDevice, KeepsGoingThroughMasterChangesAndDisplayOffAndOn) {
    SKIP_WITHOUT_DISPLAY();
    TestCompositor compositor;
    ASSERT_TRUE(compositor.ready());
    Posts posts;
    VblankDisplayLink link(openCard(), 60.0);
    link.setOutputCallback(&Posts::callback, &posts);
    link.start();
    const struct {
        char command;
        bool onTimer;
    } steps[] = {{'d', false}, {'m', false}, {'f', true}, {'n', false}};
    for (const auto& step : steps) {
        SCOPED_TRACE(step.command);
        ASSERT_TRUE(compositor.command(step.command));
        EXPECT_TRUE(eventually([&] { return link.onTimer() == step.onTimer; }));
        const std::size_t before = posts.count();
        std::this_thread::sleep_for(500ms);
        EXPECT_EQ(link.onTimer(), step.onTimer);
        EXPECT_GE(posts.count(), before + 20) << "a link at about 60 Hz posts 30 frames in 0.5 s";
    }
    link.stop();
}

// A display that is off when the link is made is no reason for a timer link: the vblank link
// paces itself by its timer until the display comes on.
TEST(VblankDevice, ADisplayOffWhenTheLinkIsMadeIsFollowedOnceItComesOn) {
    SKIP_WITHOUT_DISPLAY();
    TestCompositor compositor;
    ASSERT_TRUE(compositor.ready());
    ASSERT_TRUE(compositor.command('f'));
    Posts posts;
    VblankDisplayLink link(openCard(), 60.0);
    link.setOutputCallback(&Posts::callback, &posts);
    link.start();
    EXPECT_TRUE(eventually([&] { return posts.count() >= 5; }));
    EXPECT_TRUE(link.onTimer());
    ASSERT_TRUE(compositor.command('n'));
    EXPECT_TRUE(eventually([&] { return !link.onTimer(); }));
    link.stop();
}

}  // namespace
}  // namespace glidewheel::devicetest
