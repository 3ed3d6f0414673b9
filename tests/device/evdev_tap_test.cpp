// The real tap against uinput mice: what it grabs, what passes through its clones unchanged,
// what reaches its callback, and what posting writes.

#include <linux/input.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <thread>

#include "platform/linux/input/device_classification.h"
#include "tests/device/tap_fixture.h"

namespace glidewheel::devicetest {
namespace {

using namespace platform;
using linuxdesktop::cloneName;

constexpr std::int32_t kUnitsPerDetent = 120;  // high-resolution wheel units

const Frame kNotchUp = {{EV_REL, REL_WHEEL, 1}, {EV_REL, REL_WHEEL_HI_RES, kUnitsPerDetent}};
const Frame kNotchDown = {{EV_REL, REL_WHEEL, -1}, {EV_REL, REL_WHEEL_HI_RES, -kUnitsPerDetent}};
const Frame kNotchRight = {{EV_REL, REL_HWHEEL, 1}, {EV_REL, REL_HWHEEL_HI_RES, kUnitsPerDetent}};
// A fence: motion always passes, so once it comes out, everything sent before it has been handled.
const Frame kFence = {{EV_REL, REL_Y, 1}};

Event scrollEvent(EventField axisField, double points) {
    Event event(kCGEventScrollWheel);
    event.setDoubleValue(axisField, points);
    return event;
}

// The value of `code` in a frame, 0 when it has none.
std::int32_t valueOf(const Frame& frame, std::uint16_t code) {
    for (const InputEvent& event : frame)
        if (event.type == EV_REL && event.code == code) return event.value;
    return 0;
}

std::int32_t sumOf(const std::vector<Frame>& frames, std::uint16_t code) {
    std::int32_t sum = 0;
    for (const Frame& frame : frames) sum += valueOf(frame, code);
    return sum;
}

TEST_F(EvdevTapTest, GrabsTheMouseAndStandsAnUngrabbedCloneInItsPlace) {
    const auto device = taken(*mouse);
    ASSERT_TRUE(device);
    EXPECT_TRUE(isGrabbedElsewhere(mouse->eventNode()));
    EXPECT_TRUE(device->proxy);
    EXPECT_EQ(findEventNode(cloneName(mouse->name()), mouse->eventNode()), device->cloneDevnode);
    EXPECT_FALSE(isGrabbedElsewhere(device->cloneDevnode));
    for (const TakenDevice& held : service->takenDevices())
        EXPECT_NE(held.name.rfind(linuxdesktop::kCloneNamePrefix, 0), 0u)
            << "the tap took its own clone " << held.devnode;
}

TEST_F(EvdevTapTest, MotionAndButtonsComeOutOfTheCloneFrameByFrameUnchanged) {
    EventReader clone(taken(*mouse)->cloneDevnode);
    const std::vector<Frame> sent = {
        {{EV_REL, REL_X, 7}, {EV_REL, REL_Y, -4}},
        {{EV_KEY, BTN_LEFT, 1}},
        {{EV_REL, REL_X, -1}},
        {{EV_KEY, BTN_LEFT, 0}, {EV_KEY, BTN_RIGHT, 1}},
        {{EV_KEY, BTN_RIGHT, 0}},
    };
    for (const Frame& frame : sent) mouse->send(frame);

    EXPECT_EQ(receiveFrames(clone, sent.size()), sent);
    EXPECT_TRUE(recorder.seen.empty()) << "the callback saw motion or buttons";
}

TEST_F(EvdevTapTest, WheelFramesReachTheCallbackAsLineAndPointDeltasPerDetent) {
    mouse->send(kNotchUp);
    mouse->send(kNotchDown);
    mouse->send({{EV_REL, REL_WHEEL_HI_RES, kUnitsPerDetent / 2}});  // a high-resolution wheel
    mouse->send(kNotchRight);
    ASSERT_TRUE(runUntil([&] { return recorder.seen.size() >= 4; }));
    ASSERT_EQ(recorder.seen.size(), 4u);

    const EventTapProxy proxy = taken(*mouse)->proxy;
    for (const TapRecorder::Seen& seen : recorder.seen) {
        EXPECT_EQ(seen.type, kCGEventScrollWheel);
        EXPECT_EQ(seen.event.type(), kCGEventScrollWheel);
        EXPECT_EQ(seen.proxy, proxy);
    }
    const Event& up = recorder.seen[0].event;
    const Event& down = recorder.seen[1].event;
    EXPECT_EQ(std::abs(up.integerValue(kCGScrollWheelEventDeltaAxis1)), 1);
    EXPECT_EQ(std::abs(up.doubleValue(kCGScrollWheelEventPointDeltaAxis1)), 1.0);
    EXPECT_EQ(up.doubleValue(kCGScrollWheelEventPointDeltaAxis2), 0.0);
    EXPECT_EQ(down.integerValue(kCGScrollWheelEventDeltaAxis1),
              -up.integerValue(kCGScrollWheelEventDeltaAxis1));
    EXPECT_EQ(down.doubleValue(kCGScrollWheelEventPointDeltaAxis1),
              -up.doubleValue(kCGScrollWheelEventPointDeltaAxis1));
    EXPECT_EQ(recorder.seen[2].event.doubleValue(kCGScrollWheelEventPointDeltaAxis1),
              up.doubleValue(kCGScrollWheelEventPointDeltaAxis1) / 2);

    const Event& sideways = recorder.seen[3].event;
    EXPECT_EQ(std::abs(sideways.integerValue(kCGScrollWheelEventDeltaAxis2)), 1);
    EXPECT_EQ(std::abs(sideways.doubleValue(kCGScrollWheelEventPointDeltaAxis2)), 1.0);
    EXPECT_EQ(sideways.doubleValue(kCGScrollWheelEventPointDeltaAxis1), 0.0);
    EXPECT_EQ(sideways.integerValue(kCGScrollWheelEventDeltaAxis1), 0);
}

TEST_F(EvdevTapTest, ASwallowedWheelFrameNeverReachesTheCloneButMotionBesideItDoes) {
    EventReader clone(taken(*mouse)->cloneDevnode);
    recorder.swallow = true;
    mouse->send(kNotchUp);
    mouse->send({{EV_REL, REL_X, 3}, {EV_REL, REL_WHEEL, -1}, {EV_REL, REL_WHEEL_HI_RES, -120}});
    mouse->send(kNotchRight);
    mouse->send(kFence);

    const std::vector<Frame> expected = {{{EV_REL, REL_X, 3}}, kFence};
    EXPECT_EQ(receiveFrames(clone, expected.size()), expected);
    EXPECT_EQ(recorder.seen.size(), 3u);
}

TEST_F(EvdevTapTest, AWheelFrameTheCallbackReturnsReachesTheCloneAsTheMouseSentIt) {
    EventReader clone(taken(*mouse)->cloneDevnode);
    recorder.swallow = false;
    const std::vector<Frame> sent = {kNotchDown, kNotchRight, {{EV_REL, REL_WHEEL_HI_RES, 30}}};
    for (const Frame& frame : sent) mouse->send(frame);

    EXPECT_EQ(receiveFrames(clone, sent.size()), sent);
    EXPECT_EQ(recorder.seen.size(), sent.size());
}

TEST_F(EvdevTapTest, PostedPointsLeaveTheCloneAsTwelveHighResolutionUnitsEach) {
    const EventTapProxy proxy = taken(*mouse)->proxy;
    EventReader clone(taken(*mouse)->cloneDevnode);

    // A notch's point delta gives the direction: posted points go out that way.
    mouse->send(kNotchUp);
    ASSERT_TRUE(runUntil([&] { return recorder.seen.size() == 1; }));
    const double up = recorder.seen[0].event.doubleValue(kCGScrollWheelEventPointDeltaAxis1);
    auto post = [&](double points) {
        service->postEvent(proxy, scrollEvent(kCGScrollWheelEventPointDeltaAxis1, points * up));
    };

    // Each post is at least half a detent, which a scroll's first post is raised to: these come
    // out as they are even if the VM stalls between them.
    post(10.0);
    post(5.0);
    post(5.0);  // a whole detent has built up since the last step
    post(-10.0);
    const std::vector<Frame> frames = receiveFrames(clone, 4);
    ASSERT_EQ(frames.size(), 4u);
    EXPECT_EQ(valueOf(frames[0], REL_WHEEL_HI_RES), 120);
    EXPECT_EQ(valueOf(frames[0], REL_WHEEL), 1);
    EXPECT_EQ(valueOf(frames[1], REL_WHEEL_HI_RES), 60);
    EXPECT_EQ(valueOf(frames[1], REL_WHEEL), 0);
    EXPECT_EQ(valueOf(frames[2], REL_WHEEL_HI_RES), 60);
    EXPECT_EQ(valueOf(frames[2], REL_WHEEL), 1);
    EXPECT_EQ(valueOf(frames[3], REL_WHEEL_HI_RES), -120);
    EXPECT_EQ(valueOf(frames[3], REL_WHEEL), -1);
    EXPECT_EQ(sumOf(frames, REL_HWHEEL_HI_RES), 0);
    EXPECT_EQ(sumOf(frames, REL_HWHEEL), 0);
}

TEST_F(EvdevTapTest, PostedHorizontalPointsLeaveOnTheHorizontalWheelInTheNotchesDirection) {
    const EventTapProxy proxy = taken(*mouse)->proxy;
    EventReader clone(taken(*mouse)->cloneDevnode);
    mouse->send(kNotchRight);
    ASSERT_TRUE(runUntil([&] { return recorder.seen.size() == 1; }));
    const double right = recorder.seen[0].event.doubleValue(kCGScrollWheelEventPointDeltaAxis2);

    service->postEvent(proxy, scrollEvent(kCGScrollWheelEventPointDeltaAxis2, 10.0 * right));
    const std::vector<Frame> frames = receiveFrames(clone, 1);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(valueOf(frames[0], REL_HWHEEL_HI_RES), 120);
    EXPECT_EQ(valueOf(frames[0], REL_HWHEEL), 1);
    EXPECT_EQ(valueOf(frames[0], REL_WHEEL_HI_RES), 0);
}

TEST_F(EvdevTapTest, FractionsOfAUnitAreCarriedToTheNextPostAndNothingIsLost) {
    const EventTapProxy proxy = taken(*mouse)->proxy;
    EventReader clone(taken(*mouse)->cloneDevnode);

    // Half a detent starts the scroll, so that the small posts after it go out as they are.
    service->postEvent(proxy, scrollEvent(kCGScrollWheelEventPointDeltaAxis1, 5.0));
    std::int32_t units = sumOf(receiveFrames(clone, 1), REL_WHEEL_HI_RES);
    ASSERT_EQ(std::abs(units), 60);
    const int direction = units > 0 ? 1 : -1;

    // 0.125 points is 1.5 units: eight posts make exactly one point, twelve units.
    for (int post = 1; post <= 8; ++post) {
        service->postEvent(proxy, scrollEvent(kCGScrollWheelEventPointDeltaAxis1, 0.125));
        // Posting writes before it returns; a post that rounds to no unit writes no frame.
        units += sumOf(clone.readFrames(), REL_WHEEL_HI_RES);
        EXPECT_LT(std::abs(direction * units - (60 + 1.5 * post)), 1.0) << "after post " << post;
    }
    EXPECT_EQ(direction * units, 72);
}

TEST_F(EvdevTapTest, DisablingReleasesTheGrabAndEnablingTakesItAgain) {
    EXPECT_TRUE(tap->isEnabled());

    tap->setEnabled(false);
    EXPECT_FALSE(tap->isEnabled());
    EXPECT_TRUE(runUntil([&] { return !isGrabbedElsewhere(mouse->eventNode()); }));
    EXPECT_FALSE(taken(*mouse) && taken(*mouse)->grabbed);

    tap->setEnabled(true);
    EXPECT_TRUE(tap->isEnabled());
    EXPECT_TRUE(runUntil([&] { return isTakenAndGrabbed(*mouse); }));
    EXPECT_TRUE(isGrabbedElsewhere(mouse->eventNode()));

    // And it works as before.
    mouse->send(kNotchUp);
    EXPECT_TRUE(runUntil([&] { return recorder.seen.size() == 1; }));
}

TEST_F(EvdevTapTest, DestroyingTheTapReleasesTheMouseAndRemovesItsClone) {
    const std::string cloneNode = taken(*mouse)->cloneDevnode;
    const std::string clone = cloneName(mouse->name());
    ASSERT_TRUE(findEventNode(clone, mouse->eventNode()));

    source.reset();
    tap.reset();
    loop.runOnce(0);
    EXPECT_FALSE(isGrabbedElsewhere(mouse->eventNode()));
    EXPECT_TRUE(service->takenDevices().empty());
    EXPECT_TRUE(waitUntil([&] { return !findEventNode(clone, mouse->eventNode()); },
                          [] { std::this_thread::sleep_for(std::chrono::milliseconds(10)); }))
        << "the clone " << cloneNode << " outlived its tap";
}

TEST_F(EvdevTapTest, AMouseUnpluggedMidGlideIsDroppedAndLaterPostsWithItsProxyAreDropped) {
    const EventTapProxy proxy = taken(*mouse)->proxy;
    const std::string node = mouse->eventNode();
    const std::string clone = cloneName(mouse->name());
    ASSERT_TRUE(findEventNode(clone, node));

    // Frames post from the display link's thread while the main loop learns of the unplug.
    std::atomic<bool> posting = true;
    std::atomic<int> posts = 0;
    std::thread glide([&] {
        while (posting) {
            service->postEvent(proxy, scrollEvent(kCGScrollWheelEventPointDeltaAxis1, 1.25));
            ++posts;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    ASSERT_TRUE(runUntil([&] { return posts > 20; }));
    mouse.reset();
    const bool dropped =
        runUntil([&] { return service->takenDevices().empty() && !findEventNode(clone); });
    const int postsBeforeStop = posts;
    runUntil([&] { return posts > postsBeforeStop + 20; });
    posting = false;
    glide.join();
    EXPECT_TRUE(dropped) << "the unplugged mouse " << node << " or its clone is still held";

    service->postEvent(proxy, scrollEvent(kCGScrollWheelEventPointDeltaAxis1, 1.0));
    EXPECT_FALSE(findEventNode(clone)) << "a post brought back a clone of the unplugged mouse";

    // The tap goes on taking mice.
    mouse = std::make_unique<TestMouse>("glidewheel test mouse replugged");
    EXPECT_TRUE(runUntil([&] { return isTakenAndGrabbed(*mouse); }));
}

TEST_F(EvdevTapTest, AMousePluggedInWhileTheTapRunsIsTakenWithAProxyOfItsOwn) {
    TestMouse second("glidewheel test mouse plugged later");
    ASSERT_TRUE(runUntil([&] { return isTakenAndGrabbed(second); }))
        << "the tap did not take a mouse plugged in while it ran";
    EXPECT_TRUE(isGrabbedElsewhere(second.eventNode()));
    EXPECT_NE(taken(second)->proxy, taken(*mouse)->proxy);

    EventReader secondClone(taken(second)->cloneDevnode);
    second.send(kNotchDown);
    second.send(kFence);
    EXPECT_EQ(receiveFrames(secondClone, 1), std::vector<Frame>{kFence});
    ASSERT_EQ(recorder.seen.size(), 1u);
    EXPECT_EQ(recorder.seen[0].proxy, taken(second)->proxy);
}

}  // namespace
}  // namespace glidewheel::devicetest
