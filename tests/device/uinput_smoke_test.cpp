// The ground the tap tests stand on: a uinput mouse gets an event node that is found by its name,
// frames written into it read back unchanged, and a grab held elsewhere is seen.

#include <fcntl.h>
#include <linux/input.h>
#include <sys/ioctl.h>

#include "tests/device/test_devices.h"

namespace glidewheel::devicetest {
namespace {

using UinputSmokeTest = DeviceTest;

TEST_F(UinputSmokeTest, FramesWrittenIntoATestMouseReadBackUnchangedFromItsNode) {
    TestMouse mouse("glidewheel smoke mouse");
    const auto node = findEventNode(mouse.name());
    ASSERT_TRUE(node.has_value()) << "no event node named " << mouse.name();
    EXPECT_EQ(*node, mouse.eventNode());

    EventReader reader(*node);
    const std::vector<Frame> sent = {
        {{EV_REL, REL_X, 5}, {EV_REL, REL_Y, -3}},
        {{EV_KEY, BTN_LEFT, 1}},
        {{EV_REL, REL_WHEEL, -1}, {EV_REL, REL_WHEEL_HI_RES, -120}},
        {{EV_KEY, BTN_LEFT, 0}},
    };
    for (const Frame& frame : sent) mouse.send(frame);

    std::vector<Frame> received;
    waitUntil([&] { return received.size() >= sent.size(); },
              [&] {
                  reader.waitReadable(std::chrono::milliseconds(100));
                  for (Frame& frame : reader.readFrames()) received.push_back(std::move(frame));
              });
    EXPECT_EQ(received, sent);
}

TEST_F(UinputSmokeTest, AGrabHeldByAnotherDescriptorIsSeenAndItsReleaseToo) {
    TestMouse mouse("glidewheel grab mouse");
    const std::string node = mouse.eventNode();
    ASSERT_FALSE(node.empty());
    EXPECT_FALSE(isGrabbedElsewhere(node));

    UniqueFd holder(open(node.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    ASSERT_TRUE(holder);
    ASSERT_EQ(ioctl(holder.get(), EVIOCGRAB, 1), 0);
    EXPECT_TRUE(isGrabbedElsewhere(node));
    // Checking must not take or drop the grab it found.
    EXPECT_TRUE(isGrabbedElsewhere(node));

    ASSERT_EQ(ioctl(holder.get(), EVIOCGRAB, 0), 0);
    EXPECT_FALSE(isGrabbedElsewhere(node));
}

}  // namespace
}  // namespace glidewheel::devicetest
