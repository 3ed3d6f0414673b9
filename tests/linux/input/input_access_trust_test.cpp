#include "platform/linux/input/input_access_trust.h"

#include <gtest/gtest.h>

namespace glidewheel::platform::linuxdesktop {
namespace {

using Node = InputAccessFacts::Node;

TEST(InputAccess, NeedsUinputWhateverTheMice) {
    InputAccessFacts facts;
    facts.eventNodes = {Node{"/dev/input/event3", true, true}};
    EXPECT_FALSE(hasInputAccess(facts));
    facts.uinputWritable = true;
    EXPECT_TRUE(hasInputAccess(facts));
}

TEST(InputAccess, EveryWheelMouseMustBeReadable) {
    InputAccessFacts facts;
    facts.uinputWritable = true;
    facts.eventNodes = {Node{"/dev/input/event0", false, false},  // keyboard: not needed
                        Node{"/dev/input/event3", true, true},
                        Node{"/dev/input/event4", true, false}};
    EXPECT_FALSE(hasInputAccess(facts));
    facts.eventNodes[2].readable = true;
    EXPECT_TRUE(hasInputAccess(facts));
}

TEST(InputAccess, WithoutWheelMiceAnyReadableNodeWillDo) {
    InputAccessFacts facts;
    facts.uinputWritable = true;
    facts.eventNodes = {Node{"/dev/input/event0", false, false},
                        Node{"/dev/input/event1", false, false}};
    EXPECT_FALSE(hasInputAccess(facts));
    facts.eventNodes[1].readable = true;
    EXPECT_TRUE(hasInputAccess(facts));
    facts.eventNodes.clear();
    EXPECT_TRUE(hasInputAccess(facts));  // nothing to read yet: uinput decides
}

TEST(InputAccessTrust, AsksTheProbeEachTimeAndNeverPrompts) {
    int prompts = 0;
    int probes = 0;
    bool granted = false;
    InputAccessTrust trust([&] { ++prompts; }, [&] {
        ++probes;
        InputAccessFacts facts;
        facts.uinputWritable = granted;
        return facts;
    });
    EXPECT_FALSE(trust.isProcessTrusted());
    granted = true;  // the user was added to the input group and logged in again
    EXPECT_TRUE(trust.isProcessTrusted());
    EXPECT_EQ(probes, 2);
    EXPECT_EQ(prompts, 0);
    trust.promptForTrust();
    EXPECT_EQ(prompts, 1);
}

TEST(InputAccessTrust, ProbesTheRealSystemWithoutOpeningDevices) {
    // Whatever this machine offers, the answer follows the judgement of what was found.
    const InputAccessFacts facts = probeInputAccess();
    InputAccessTrust trust([] {});
    EXPECT_EQ(trust.isProcessTrusted(), hasInputAccess(facts));
    for (const Node& node : facts.eventNodes) EXPECT_TRUE(node.devnode.starts_with("/dev/"));
}

}  // namespace
}  // namespace glidewheel::platform::linuxdesktop
