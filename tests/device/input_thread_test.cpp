// SPDX-License-Identifier: MIT

// The tap's input thread against a busy main thread, mice coming and going, held buttons and an
// overflowed kernel buffer: a program that carries the whole mouse must neither lose nor delay
// a mouse event, whatever the GUI is doing. The motion runs at 1000 Hz, whose 128-event kernel
// buffer lasts about 42 ms.

#include <gmock/gmock.h>

#include <future>
#include <iostream>

#include "engine/scroll_interceptor.h"
#include "engine/smooth_scroller.h"
#include "platform/linux/display/vblank_display_link.h"
#include "tests/device/motion_stream.h"

namespace glidewheel::devicetest {
namespace {

using namespace platform;
using namespace std::chrono_literals;

// The VM's own idle pauses reach about 35 ms under emulation; a stall of the input path as long
// as the kernel buffer would show well above this. Pauses of the whole VM hold the test mouse
// up too, so what is checked is the gap the input path added to the mouse's own.
constexpr double kLongestGapMs = 50;

const Frame kNotchUp = {{EV_REL, REL_WHEEL, 1}, {EV_REL, REL_WHEEL_HI_RES, 120}};
const Frame kFence = {{EV_REL, REL_Y, 1}};

void print(const char* what, const MotionStream::Report& report) {
    std::cout << "forwarding " << what << ": " << report.sent << " frames, " << report.lost
              << " lost, delay p50 " << report.delayP50Ms << " ms, p99 " << report.delayP99Ms
              << " ms, longest gap " << report.maxGapMs << " ms (" << report.maxAddedGapMs
              << " ms of it added on the way)\n";
}

// The real tap whose callback hands each notch to a glide, as the interceptor does, with a
// display link on its own thread: nothing here needs the test's (main) thread.
class InputThreadTest : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        if (IsSkipped()) return;
        static int mice = 0;
        mouse = std::make_unique<TestMouse>("glidewheel moving mouse " + std::to_string(++mice));
        tap = service.createTap(kCGAnnotatedSessionEventTap, kCGTailAppendEventTap,
                                kCGEventTapOptionDefault, CGEventMaskBit(kCGEventScrollWheel),
                                &InputThreadTest::glide, this);
        ASSERT_NE(tap, nullptr);
        source = service.createRunLoopSource(*tap);
        source->addToMainRunLoop();
        ASSERT_TRUE(waitUntil([&] { return !cloneOf(*mouse).empty(); }, pause));
    }

    static Event* glide(EventTapProxy proxy, EventType, Event* event, void* self) {
        auto& test = *static_cast<InputThreadTest*>(self);
        const double c = clampedDelta(event->doubleValue(kCGScrollWheelEventPointDeltaAxis1));
        test.scroller.addScroll(c, glideDistance(c, 1.0), interpolationFactor(0.5), *event, proxy,
                                false);
        ++test.notches;
        return nullptr;
    }

    // The clone of a grabbed mouse, or nothing.
    std::string cloneOf(const TestMouse& of) const {
        for (const auto& held : service.takenDevices())
            if (held.devnode == of.eventNode() && held.grabbed) return held.cloneDevnode;
        return {};
    }

    linuxdesktop::EvdevEventTapService service;
    linuxdesktop::VblankDisplayLinkService links{[] { return 60.0; }};
    SmoothScroller scroller{links, service};
    std::atomic<int> notches = 0;
    std::unique_ptr<TestMouse> mouse;
    std::unique_ptr<EventTap> tap;
    std::unique_ptr<RunLoopSource> source;
};

// Idle, then with this (main) thread busy for 2 s, a notch in the middle of it.
TEST_F(InputThreadTest, ABusyMainThreadNeitherLosesNorDelaysMotionAndANotchStillGlides) {
    MotionStream idle(*mouse, cloneOf(*mouse));
    std::this_thread::sleep_for(2s);
    const MotionStream::Report quiet = idle.stop();
    print("idle", quiet);
    EXPECT_EQ(quiet.lost, 0);
    EXPECT_LT(quiet.maxAddedGapMs, kLongestGapMs);

    MotionStream moving(*mouse, cloneOf(*mouse));
    std::this_thread::sleep_for(100ms);
    spinFor(500ms);
    moving.sendBetween(kNotchUp);
    spinFor(1500ms);
    const auto blockEnd = MotionStream::Clock::now();
    const MotionStream::Report busy = moving.stop();
    print("with the main thread busy", busy);
    EXPECT_EQ(busy.lost, 0);
    EXPECT_LT(busy.maxAddedGapMs, kLongestGapMs);
    // A detent glides 120 units once the glide's remainder is settled.
    EXPECT_EQ(notches, 1);
    EXPECT_GE(busy.wheelUnits, 100) << "the notch did not glide out of the clone";
    EXPECT_LT(busy.lastWheel, blockEnd) << "the glide waited for the main thread";
}

TEST_F(InputThreadTest, PluggingAndUnpluggingFourMiceLosesNoMotion) {
    MotionStream moving(*mouse, cloneOf(*mouse));
    std::this_thread::sleep_for(100ms);
    std::vector<std::unique_ptr<TestMouse>> others;
    static int plugged = 0;
    for (int i = 0; i < 4; ++i)
        others.push_back(
            std::make_unique<TestMouse>("glidewheel plugged mouse " + std::to_string(++plugged)));
    const bool allTaken = waitUntil(
        [&] {
            return std::all_of(others.begin(), others.end(),
                               [&](const auto& other) { return !cloneOf(*other).empty(); });
        },
        pause);
    others.clear();
    const bool allDropped = waitUntil([&] { return service.takenDevices().size() == 1; }, pause);
    std::this_thread::sleep_for(100ms);
    const MotionStream::Report report = moving.stop();
    print("while four mice come and go", report);
    EXPECT_TRUE(allTaken && allDropped);
    EXPECT_EQ(report.lost, 0);
    EXPECT_LT(report.maxAddedGapMs, kLongestGapMs);
}

// A button held while the tap is enabled keeps the grab waiting until it comes up: the desktop
// saw the press and must see the release.
TEST_F(EvdevTapTest, AGrabWaitsForTheHeldButtonToComeUp) {
    tap->setEnabled(false);
    EXPECT_FALSE(isGrabbedElsewhere(mouse->eventNode())) << "disabling returned before the release";
    mouse->send({{EV_KEY, BTN_LEFT, 1}});
    tap->setEnabled(true);
    EXPECT_FALSE(taken(*mouse)->grabbed);
    EXPECT_FALSE(isGrabbedElsewhere(mouse->eventNode()));

    EventReader clone(taken(*mouse)->cloneDevnode);
    mouse->send({{EV_KEY, BTN_LEFT, 0}});
    ASSERT_TRUE(runUntil([&] { return isTakenAndGrabbed(*mouse); }));
    mouse->send(kFence);
    EXPECT_EQ(receiveFrames(clone, 1), std::vector<Frame>{kFence}) << "the clone saw the button";
}

// Disabling lets go of the mouse; the clone first lets go of what it holds pressed.
TEST_F(EvdevTapTest, DisablingWhileAButtonIsHeldLeavesNoButtonPressed) {
    EventReader clone(taken(*mouse)->cloneDevnode);
    mouse->send({{EV_KEY, BTN_LEFT, 1}});
    mouse->send(kFence);
    EXPECT_EQ(receiveFrames(clone, 2), (std::vector<Frame>{{{EV_KEY, BTN_LEFT, 1}}, kFence}));

    tap->setEnabled(false);
    EXPECT_EQ(receiveFrames(clone, 1), (std::vector<Frame>{{{EV_KEY, BTN_LEFT, 0}}}));
    mouse->send({{EV_KEY, BTN_LEFT, 0}});  // to the desktop directly
    tap->setEnabled(true);
    ASSERT_TRUE(runUntil([&] { return isTakenAndGrabbed(*mouse); }));
    mouse->send(kFence);
    EXPECT_EQ(receiveFrames(clone, 1), std::vector<Frame>{kFence});
}

// The input thread held up while the mouse sends far more than the kernel buffers: the loss is
// logged for this mouse, and the button let go in the lost stretch comes up on the clone.
TEST_F(EvdevTapTest, AnOverflowedBufferIsLoggedAndLeavesNoButtonPressed) {
    EventReader clone(taken(*mouse)->cloneDevnode);
    mouse->send({{EV_KEY, BTN_LEFT, 1}});
    mouse->send(kFence);
    ASSERT_EQ(receiveFrames(clone, 2).size(), 2u);

    ::testing::internal::CaptureStderr();
    std::promise<void> resume;
    std::atomic<bool> held = false;
    service.inputLoop().post([&, resumed = resume.get_future().share()] {
        held = true;
        resumed.wait();
    });
    ASSERT_TRUE(runUntil([&] { return held.load(); }));
    for (int frame = 0; frame < 300; ++frame)
        mouse->send(frame == 100 ? Frame{{EV_KEY, BTN_LEFT, 0}} : Frame{{EV_REL, REL_X, 1}});
    resume.set_value();
    std::vector<Frame> frames;
    const auto lastLeft = [&]() -> std::optional<std::int32_t> {
        std::optional<std::int32_t> left;
        for (const Frame& frame : frames)
            for (const InputEvent& event : frame)
                if (event.type == EV_KEY && event.code == BTN_LEFT) left = event.value;
        return left;
    };
    const auto receive = [&] {
        for (Frame& frame : clone.readFrames()) frames.push_back(std::move(frame));
    };
    // What was queued at the overflow is dropped whole, the fence too if it were in it.
    runUntil([&] { return receive(), lastLeft() == 0; });
    mouse->send(kFence);
    runUntil([&] { return receive(), !frames.empty() && frames.back() == kFence; });
    const std::string log = ::testing::internal::GetCapturedStderr();
    ASSERT_FALSE(frames.empty());
    EXPECT_EQ(frames.back(), kFence);
    EXPECT_LT(frames.size(), 300u) << "nothing was lost: the buffer did not overflow";
    EXPECT_EQ(lastLeft(), 0) << "the button stays pressed on the clone";
    EXPECT_THAT(log, ::testing::HasSubstr("events of " + mouse->eventNode() + " (" + mouse->name() +
                                          ") were lost"));
    EXPECT_THAT(log, ::testing::HasSubstr("(SYN_DROPPED)"));
}

}  // namespace
}  // namespace glidewheel::devicetest
