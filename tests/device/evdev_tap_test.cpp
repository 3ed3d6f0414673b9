// SPDX-License-Identifier: MIT

// The real tap against uinput mice: what it grabs, what passes through its clones unchanged,
// what reaches its callback, and what held buttons and an overflowed kernel buffer leave on the
// clone.

#include <gmock/gmock.h>

#include <atomic>
#include <future>
#include <ranges>
#include <thread>
#include <utility>

#include "platform/linux/input/devices/device_classification.h"
#include "tests/device/test_devices.h"

namespace glidewheel::devicetest {
namespace {

using namespace platform;
using linuxdesktop::cloneName;

// The tap grabs the mouse and stands an ungrabbed clone in its place; disabling releases the
// grab, enabling takes it again, and removing the tap ends both.
TEST_F(EvdevTapTest, GrabsBehindAnUngrabbedCloneUntilDisabledAndRemovalEndsBoth) {
    const auto device = taken(*mouse);
    const std::string clone = cloneName(mouse->name());
    EXPECT_TRUE(isGrabbedElsewhere(mouse->eventNode()) && device->proxy);
    EXPECT_EQ(findEventNode(clone), device->cloneDevnode);
    EXPECT_FALSE(isGrabbedElsewhere(device->cloneDevnode));

    tap->setEnabled(false);
    EXPECT_TRUE(waitUntil([&] { return !isGrabbedElsewhere(mouse->eventNode()); }));
    tap->setEnabled(true);
    EXPECT_TRUE(waitUntil([&] { return isTakenAndGrabbed(*mouse); }));
    mouse->send(kNotchUp);
    EXPECT_TRUE(waitUntil([&] { return seen().size() == 1; })) << "the tap does not work again";

    source.reset();
    tap.reset();
    EXPECT_FALSE(isGrabbedElsewhere(mouse->eventNode()));
    EXPECT_TRUE(service.takenDevices().empty());
    EXPECT_TRUE(waitUntil([&] { return !findEventNode(clone); })) << "the clone outlived its tap";
}

// On a desktop that would show applications the glide late, the tap takes no mouse: the wheel
// reaches the desktop from the mouse itself, as the mouse sends it.
struct MiceLeftAloneTest : EvdevTapTest {
    MiceLeftAloneTest() : EvdevTapTest(true) {}
};

TEST_F(MiceLeftAloneTest, TheWheelReachesTheDesktopFromTheMouseItself) {
    EventReader reader(mouse->eventNode());
    mouse->send(kNotchDown);
    EXPECT_EQ(receiveFrames(reader, 1), std::vector<Frame>{kNotchDown});
    EXPECT_FALSE(isGrabbedElsewhere(mouse->eventNode()));
    EXPECT_TRUE(service.takenDevices().empty());
    EXPECT_TRUE(seen().empty());
}

TEST_F(EvdevTapTest, WheelFramesGoToTheCallbackAndEverythingElseThroughTheCloneUnchanged) {
    EventReader clone(taken(*mouse)->cloneDevnode);
    const Frame half = {{EV_REL, REL_WHEEL_HI_RES, 60}},
                move = {{EV_REL, REL_X, 7}, {EV_REL, REL_Y, -4}},
                releaseAndMove = {{EV_KEY, BTN_LEFT, 0}, {EV_REL, REL_X, 3}};
    Frame releaseMoveAndDown = releaseAndMove;
    releaseMoveAndDown.insert(releaseMoveAndDown.end(), kNotchDown.begin(), kNotchDown.end());
    for (const Frame& frame :
         {move, kPress, kNotchUp, releaseMoveAndDown, kNotchDown, half, kNotchRight, half, kFence})
        mouse->send(frame);
    const std::vector<Frame> forwarded = {move, kPress, releaseAndMove, kFence};
    EXPECT_EQ(receiveFrames(clone, forwarded.size()), forwarded);

    // Vertical and horizontal points, a detent each: half a detent waits for the other half.
    std::vector<std::pair<double, double>> points;
    for (const auto& [proxy, event] : seen()) {
        EXPECT_EQ(proxy, taken(*mouse)->proxy);
        points.emplace_back(event.doubleValue(kCGScrollWheelEventPointDeltaAxis1),
                            event.doubleValue(kCGScrollWheelEventPointDeltaAxis2));
    }
    EXPECT_EQ(points,
              (std::vector<std::pair<double, double>>{{1, 0}, {-1, 0}, {-1, 0}, {0, 1}, {1, 0}}));

    swallow = false;  // the clone gets a returned event's units, with their legacy steps
    for (const Frame& frame : {kNotchDown, kNotchRight, half, half, kFence}) mouse->send(frame);
    EXPECT_EQ(receiveFrames(clone, 4),
              (std::vector<Frame>{kNotchDown, kNotchRight, kNotchUp, kFence}));

    // A report of more events than the kernel passes in one frame (a mouse's frames hold a dozen
    // or so) reaches the tap in frames the kernel cut: all its motion reaches the clone, and all
    // its wheel units the callback. (More than the 128 events evdev buffers would overflow.)
    swallow = true;
    Frame longReport(30, {EV_REL, REL_X, 1});
    longReport.insert(longReport.end(), 20, {EV_REL, REL_WHEEL_HI_RES, -60});
    for (const Frame& frame : {longReport, kFence}) mouse->send(frame);
    long moved = 0;
    bool fenced = false;
    EXPECT_TRUE(waitUntil([&] {
        for (const TimedFrame& frame : clone.readFrames()) {
            fenced = frame.events == kFence;
            for (const InputEvent& event : frame.events)
                if (event.type == EV_REL && event.code == REL_X) moved += event.value;
        }
        return fenced;
    }));
    EXPECT_EQ(moved, 30);
    const auto notches = seen();
    double scrolled = 0;
    for (const auto& [proxy, event] : notches | std::views::drop(points.size() + 3))
        scrolled += event.doubleValue(kCGScrollWheelEventPointDeltaAxis1);
    EXPECT_EQ(scrolled, -10);
}

TEST_F(EvdevTapTest, AMouseUnpluggedMidGlideIsDroppedAndOnePluggedInIsTaken) {
    const EventTapProxy proxy = taken(*mouse)->proxy;
    const std::string clone = cloneName(mouse->name());
    Event frame(kCGEventScrollWheel);
    frame.setDoubleValue(kCGScrollWheelEventPointDeltaAxis1, 1.25);
    // Frames post from the display link's thread while the input thread learns of the unplug.
    std::atomic<int> posts = 0;
    std::jthread glide([&](std::stop_token stop) {
        for (; !stop.stop_requested(); ++posts) {
            service.postEvent(proxy, frame);
            std::this_thread::sleep_for(1ms);
        }
    });
    waitUntil([&] { return posts > 20; });
    mouse.reset();
    const bool dropped =
        waitUntil([&] { return service.takenDevices().empty() && !findEventNode(clone); });
    const int postsBefore = posts;
    waitUntil([&] { return posts > postsBefore + 20; });
    glide.request_stop();
    glide.join();
    EXPECT_TRUE(dropped) << "the unplugged mouse or its clone is still held";
    service.postEvent(proxy, frame);
    EXPECT_FALSE(findEventNode(clone)) << "a post brought back a clone of the unplugged mouse";

    TestMouse plugged("glidewheel test mouse plugged later");
    ASSERT_TRUE(waitUntil([&] { return isTakenAndGrabbed(plugged); }));
    plugged.send(kNotchUp);
    ASSERT_TRUE(waitUntil([&] { return seen().size() == 1; }));
    EXPECT_TRUE(seen()[0].first == taken(plugged)->proxy && seen()[0].first != proxy);
}

// Disabling lets go of the mouse, the clone first passing on what is still queued (sent here on
// the input thread just before, so that nothing reads it first) and letting go of what it holds
// pressed. Enabling while the button is still held keeps the grab waiting until it comes up:
// the desktop saw the release of the clone's button and must see the mouse's.
TEST_F(EvdevTapTest, AHeldButtonComesUpOnTheCloneWhenDisabledAndTheGrabWaitsForItsRelease) {
    EventReader clone(taken(*mouse)->cloneDevnode);
    service.inputLoop().runAndWait([&] {
        mouse->send(kPress);
        mouse->send(kFence);
        tap->setEnabled(false);
    });
    EXPECT_FALSE(isGrabbedElsewhere(mouse->eventNode())) << "disabling returned before the release";
    EXPECT_EQ(receiveFrames(clone, 3), (std::vector<Frame>{kPress, kFence, kRelease}));
    tap->setEnabled(true);
    EXPECT_FALSE(taken(*mouse)->grabbed);
    EXPECT_FALSE(isGrabbedElsewhere(mouse->eventNode()));
    mouse->send(kRelease);  // to the desktop directly
    ASSERT_TRUE(waitUntil([&] { return isTakenAndGrabbed(*mouse); }));
    mouse->send(kFence);
    EXPECT_EQ(receiveFrames(clone, 1), std::vector<Frame>{kFence}) << "the clone saw the button";
}

// Grabbed or not, each frame the mouse sends reaches the desktop once: from the mouse itself or
// through the clone. Enabling and disabling over and over while it streams motion loses and
// doubles none at the grab's edges.
TEST_F(EvdevTapTest, EveryFrameReachesTheDesktopOnceWhileTheGrabComesAndGoes) {
    EventReader desktop(mouse->eventNode()), clone(taken(*mouse)->cloneDevnode);
    std::atomic<bool> streaming = true;
    std::size_t sent = 0, seen = 0;
    const auto read = [&] { seen += desktop.readFrames().size() + clone.readFrames().size(); };
    std::thread stream([&] {
        for (; streaming; ++sent, std::this_thread::sleep_for(1ms)) mouse->send(kFence);
    });
    for (int toggle = 0; toggle < 300; ++toggle, read(), std::this_thread::sleep_for(2ms))
        tap->setEnabled(toggle % 2 != 0);
    streaming = false;
    stream.join();
    EXPECT_TRUE(waitUntil([&] { return read(), seen >= sent; }) && seen == sent)
        << seen << " frames reached the desktop of " << sent << " sent";
}

// A mouse switched off goes back to the desktop at once, its clone gone; switched on again, it
// is grabbed once its button is up, and its new clone holds nothing pressed. (uinput gives the
// test mouse no ids or physical path.)
TEST_F(EvdevTapTest, AMouseSwitchedOffIsLetGoWithItsCloneAndSwitchedOnIsGrabbedOnceItsButtonIsUp) {
    EventReader own(mouse->eventNode());
    service.setWheelMice({{mouse->name(), 0, 0, "", false, false}});
    EXPECT_FALSE(taken(*mouse) || isGrabbedElsewhere(mouse->eventNode()));
    EXPECT_TRUE(waitUntil([&] { return !findEventNode(cloneName(mouse->name())); }));
    mouse->send(kNotchDown);
    mouse->send(kPress);
    EXPECT_EQ(receiveFrames(own, 2), (std::vector<Frame>{kNotchDown, kPress}));

    service.setWheelMice({{mouse->name(), 0, 0, "", false, true}});
    ASSERT_TRUE(waitUntil([&] { return taken(*mouse).has_value(); }));
    EXPECT_FALSE(taken(*mouse)->grabbed) << "grabbed with the button held";
    mouse->send(kRelease);
    ASSERT_TRUE(waitUntil([&] { return isTakenAndGrabbed(*mouse); }));
    EventReader clone(taken(*mouse)->cloneDevnode);
    mouse->send(kFence);
    EXPECT_EQ(receiveFrames(clone, 1), std::vector<Frame>{kFence}) << "the clone saw the button";
}

// A grab another program holds (another session's instance, letting go as its session leaves the
// front) is tried again for a while, not taken as final.
TEST_F(EvdevTapTest, AMouseAnotherProgramHoldsIsGrabbedOnceItLetsGo) {
    tap->setEnabled(false);
    const auto other = adoptFd(open(mouse->eventNode().c_str(), O_RDONLY | O_CLOEXEC));
    ASSERT_EQ(ioctl(other.get().fd, EVIOCGRAB, 1), 0);
    tap->setEnabled(true);  // refused
    ioctl(other.get().fd, EVIOCGRAB, 0);
    EXPECT_TRUE(waitUntil([&] { return isTakenAndGrabbed(*mouse); }));
}

// logind's records of one session, this user's graphical one, renamed into place as logind
// writes them; gone again afterwards. A base before the tap's, which reads them as it starts.
struct LoginRecords {
    static constexpr const char* kSession = "/run/systemd/sessions/glidewheel";
    static constexpr const char* kUser = "/run/systemd/users/0";  // root's, in the VM
    LoginRecords() {
        std::filesystem::create_directories("/run/systemd/sessions");
        std::filesystem::create_directories("/run/systemd/users");
        write(kUser, "DISPLAY=glidewheel\n");
        setActive(true);
    }
    ~LoginRecords() {
        std::error_code kept;  // a folder that holds another record, mutter's say, stays
        for (const char* path : {kUser, kSession, "/run/systemd/users", "/run/systemd/sessions"})
            std::filesystem::remove(path, kept);
    }
    static void setActive(bool active) { write(kSession, active ? "ACTIVE=1\n" : "ACTIVE=0\n"); }
    static void write(const std::string& path, const std::string& text) {
        std::ofstream(path + ".new") << text;
        std::filesystem::rename(path + ".new", path);
    }
};
struct SessionSwitchTest : LoginRecords, EvdevTapTest {};

// While another session is in front of the seat, the mouse goes back to it, clone and all; once
// this one is back, it is taken again.
TEST_F(SessionSwitchTest, AnotherSessionInFrontLetsTheMouseGoAndOursBackTakesItAgain) {
    setActive(false);
    EXPECT_TRUE(
        waitUntil([&] { return !taken(*mouse) && !isGrabbedElsewhere(mouse->eventNode()); }));
    EXPECT_TRUE(waitUntil([&] { return !findEventNode(cloneName(mouse->name())); }));
    setActive(true);
    EXPECT_TRUE(waitUntil([&] { return isTakenAndGrabbed(*mouse); }));
    mouse->send(kNotchUp);
    EXPECT_TRUE(waitUntil([&] { return seen().size() == 1; })) << "the tap does not work again";
}

// Switched off mid-click, a mouse is let go once its button comes up through the clone, as
// letting go earlier would end the click; meanwhile its wheel reaches the clone as sent.
TEST_F(EvdevTapTest, AMouseSwitchedOffMidClickIsLetGoOnceItsButtonIsUp) {
    EventReader clone(taken(*mouse)->cloneDevnode);
    mouse->send(kPress);
    EXPECT_EQ(receiveFrames(clone, 1), std::vector<Frame>{kPress});
    service.setWheelMice({{mouse->name(), 0, 0, "", false, false}});
    mouse->send(kNotchDown);
    mouse->send(kRelease);
    EXPECT_EQ(receiveFrames(clone, 2), (std::vector<Frame>{kNotchDown, kRelease}));
    EXPECT_TRUE(
        waitUntil([&] { return !taken(*mouse) && !isGrabbedElsewhere(mouse->eventNode()); }));
    EXPECT_TRUE(seen().empty()) << "the notch glided";
}

// A wheel moving in 15-unit steps scrolls finely already: its first step reaches the clone as
// sent and the mouse is let go, until it is switched on; then its steps glide, a detent at once.
TEST_F(EvdevTapTest, AFineWheelIsLeftAloneUntilSwitchedOnAndThenGlides) {
    EventReader clone(taken(*mouse)->cloneDevnode), own(mouse->eventNode());
    const Frame step = {{EV_REL, REL_WHEEL_HI_RES, 15}};
    mouse->send(step);
    EXPECT_EQ(receiveFrames(clone, 1), std::vector<Frame>{step});
    EXPECT_TRUE(
        waitUntil([&] { return !taken(*mouse) && !isGrabbedElsewhere(mouse->eventNode()); }));
    mouse->send(step);
    EXPECT_EQ(receiveFrames(own, 1), std::vector<Frame>{step});

    service.setWheelMice({{mouse->name(), 0, 0, "", false, true}});
    ASSERT_TRUE(waitUntil([&] { return isTakenAndGrabbed(*mouse); }));
    for (int i = 0; i < 8; ++i) mouse->send(step);
    EXPECT_TRUE(waitUntil([&] { return seen().size() == 1; })) << "the detent did not glide";
}

// The input thread held up while the mouse sends far more than the kernel buffers: the loss is
// logged for this mouse, and the button let go in the lost stretch comes up on the clone.
TEST_F(EvdevTapTest, AnOverflowedBufferIsLoggedAndLeavesNoButtonPressed) {
    EventReader clone(taken(*mouse)->cloneDevnode);
    mouse->send(kPress);
    mouse->send(kFence);
    ASSERT_EQ(receiveFrames(clone, 2).size(), 2u);

    ::testing::internal::CaptureStderr();
    std::promise<void> resume;
    std::atomic<bool> held = false;
    service.inputLoop().post([&, resumed = resume.get_future().share()] {
        held = true;
        resumed.wait();
    });
    ASSERT_TRUE(waitUntil([&] { return held.load(); }));
    for (int frame = 0; frame < 300; ++frame)
        mouse->send(frame == 100 ? kRelease : Frame{{EV_REL, REL_X, 1}});
    resume.set_value();
    std::vector<Frame> frames;
    // Reads what came since; gives the button's last state on the clone, -1 if it never came.
    const auto lastLeft = [&] {
        for (TimedFrame& frame : clone.readFrames()) frames.push_back(std::move(frame.events));
        std::int32_t left = -1;
        for (const InputEvent& e : frames | std::views::join)
            if (e.type == EV_KEY && e.code == BTN_LEFT) left = e.value;
        return left;
    };
    // What was queued at the overflow is dropped whole, the fence too if it were in it.
    waitUntil([&] { return lastLeft() == 0; });
    mouse->send(kFence);
    const bool fenced =
        waitUntil([&] { return lastLeft(), !frames.empty() && frames.back() == kFence; });
    const std::string log = ::testing::internal::GetCapturedStderr();
    ASSERT_TRUE(fenced) << "the fence did not come through";
    EXPECT_LT(frames.size(), 300u) << "nothing was lost: the buffer did not overflow";
    EXPECT_EQ(lastLeft(), 0) << "the button stays pressed on the clone";
    EXPECT_THAT(log, ::testing::HasSubstr("events of " + mouse->eventNode() + " (" + mouse->name() +
                                          ") were lost"));
    EXPECT_THAT(log, ::testing::ContainsRegex(R"(\(SYN_DROPPED\), [0-9]+ ms after it was)"));
}

}  // namespace
}  // namespace glidewheel::devicetest
