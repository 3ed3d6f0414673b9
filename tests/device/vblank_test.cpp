// SPDX-License-Identifier: MIT

// The vblank display link on a real kernel's virtual display (vkms): a test compositor holds the
// card as master and shows a 59.94 Hz mode; the link opens the card apart and is not master, as
// the program would be beside a desktop.

#include <fcntl.h>
#include <xf86drm.h>

#include <set>
#include <thread>

#include "platform/linux/display/drm_vblank_source.h"
#include "platform/linux/display/vblank_display_link.h"
#include "tests/device/test_devices.h"
#include "tests/support/frame_recorder.h"

namespace glidewheel::devicetest {
namespace {

using namespace platform;
using namespace platform::linuxdesktop;
using testing::FrameRecorder;

std::unique_ptr<VblankSource> openCard() {
    std::string note;
    auto source = openDrmVblankSource("/dev/dri", note);
    EXPECT_NE(source, nullptr) << note;
    return source;
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
// vblank time: no refresh sees two frames and at most 1 % see none.
TEST(VblankDevice, PostsOncePerRefreshOfA5994HzDisplayWithoutBeingMaster) {
    SKIP_WITHOUT_DISPLAY();
    TestCompositor compositor;
    ASSERT_TRUE(compositor.ready());
    auto source = openCard();
    ASSERT_NE(source, nullptr);
    EXPECT_FALSE(drmIsMaster(source->fd()));
    VblankClock clock;
    FrameRecorder onVblank;
    VblankDisplayLink vblankLink(std::move(source), 60.0);
    onVblank.attach(vblankLink);
    vblankLink.start();
    std::this_thread::sleep_for(10s);
    vblankLink.stop();
    EXPECT_FALSE(vblankLink.onTimer());

    const auto vblanks = clock.vblanks();
    ASSERT_GE(vblanks.size(), 2u);
    const double rateHz =
        (vblanks.back().sequence - vblanks.front().sequence) /
        std::chrono::duration<double>(vblanks.back().at - vblanks.front().at).count();
    const Judder link = judder(vblanks, onVblank.calledTimes());
    EXPECT_NEAR(rateHz, 59.94, 0.005);
    EXPECT_GE(link.refreshes, 500) << "too few refreshes seen whole";
    EXPECT_EQ(link.doubled.size(), 0u);
    EXPECT_LE(link.empty, link.refreshes / 100);

    std::set<std::int64_t> kernelTimes;
    for (const Vblank& vblank : vblanks)
        kernelTimes.insert(std::chrono::nanoseconds(vblank.at.time_since_epoch()).count());
    const auto frames = onVblank.frames();
    int foreign = 0;
    for (const auto& frame : frames) foreign += !kernelTimes.contains(frame.now.hostTimeNs);
    // The clock misses a vblank now and then (above), and may start after the link.
    EXPECT_LE(foreign, static_cast<int>(frames.size()) - link.refreshes + 2)
        << "frames not stamped with a vblank's time";
}

// A display that is off when the link is made is no reason for a timer link: the vblank link
// paces itself by its timer until the display comes on. The compositor dropping and taking back
// master then leaves the link on the vblanks; switching the display off hands the frames to the
// timer, and switching it on again back to the vblanks.
TEST(VblankDevice, FollowsADisplayOffAtFirstThroughMasterChangesAndOffAndOnAgain) {
    SKIP_WITHOUT_DISPLAY();
    TestCompositor compositor;
    ASSERT_TRUE(compositor.ready());
    ASSERT_TRUE(compositor.command('f'));
    FrameRecorder posts;
    VblankDisplayLink link(openCard(), 60.0);
    posts.attach(link);
    link.start();
    EXPECT_TRUE(waitUntil([&] { return posts.count() >= 5; }));
    EXPECT_TRUE(link.onTimer());
    const struct {
        char command;
        bool onTimer;
    } steps[] = {{'n', false}, {'d', false}, {'m', false}, {'f', true}, {'n', false}};
    for (const auto& step : steps) {
        SCOPED_TRACE(step.command);
        ASSERT_TRUE(compositor.command(step.command));
        EXPECT_TRUE(waitUntil([&] { return link.onTimer() == step.onTimer; }));
        const int before = posts.count();
        std::this_thread::sleep_for(500ms);
        EXPECT_EQ(link.onTimer(), step.onTimer);
        EXPECT_GE(posts.count(), before + 20) << "a link at about 60 Hz posts 30 frames in 0.5 s";
    }
}

}  // namespace
}  // namespace glidewheel::devicetest
