// SPDX-License-Identifier: MIT

// Which devices the tap takes, and whether the process may take them.

#include <gtest/gtest.h>
#include <linux/input.h>
#include <linux/uinput.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>

#include "platform/linux/input/devices/device_classification.h"
#include "platform/linux/input/devices/device_probe.h"
#include "platform/linux/input/devices/grabbed_mouse.h"
#include "platform/linux/input/devices/input_access_trust.h"

namespace glidewheel::platform::linuxdesktop {
namespace {

using C = DeviceCapabilities;

TEST(DeviceClassification, TakesPlainWheelMiceOnlyAndNeverOurClones) {
    C mouse;
    mouse.name = "Logi M100";
    mouse.relativeX = mouse.relativeY = mouse.leftButton = mouse.verticalWheel = true;
    EXPECT_TRUE(isWheelMouse(mouse));
    // Each flag switched from the plain mouse's value: only a horizontal wheel keeps it taken.
    const auto flags = {&C::horizontalWheel, &C::verticalWheel,     &C::relativeY,
                        &C::leftButton,      &C::absoluteAxes,      &C::udevTouchpad,
                        &C::udevTablet,      &C::udevPointingStick, &C::pointingStickProperty,
                        &C::keyboardKeys,    &C::udevKeyboard};
    for (const auto& flag : flags) {
        C changed = mouse;
        changed.*flag = !(changed.*flag);
        EXPECT_EQ(isWheelMouse(changed), flag == &C::horizontalWheel) << &flag - flags.begin();
    }
    // Our clones carry our name and our ids; a uinput mouse with only one of them is a mouse.
    C clone = mouse;
    std::tie(clone.name, clone.bustype, clone.vendor, clone.product) =
        std::tuple(cloneName(mouse.name), kCloneBustype, kCloneVendor, kCloneProduct);
    EXPECT_FALSE(isWheelMouse(clone));
    C borrowedName = clone;
    borrowedName.product = 0x5678;
    clone.name = "virtual mouse";
    EXPECT_TRUE(isWheelMouse(borrowedName) && isWheelMouse(clone));

    // Long names are cut, never inside a UTF-8 sequence (2 bytes each here), and names are
    // logged with their control characters and broken sequences made harmless.
    std::string accented = "m";
    for (int i = 0; i < 100; ++i) accented += "\xc3\xa9";
    for (const std::string& original : {std::string(200, 'm'), accented, accented.substr(1)}) {
        const std::string longName = cloneName(original);
        EXPECT_LT(longName.size(), std::size_t{UINPUT_MAX_NAME_SIZE});
        EXPECT_TRUE(longName.starts_with(kCloneNamePrefix) && longName.ends_with(')'));
        EXPECT_EQ(printableName(longName), longName);
    }
    EXPECT_EQ(printableName("Maus \xc3\xa9\n\x1b[2J\xc3(\xff\x7f"), "Maus \xc3\xa9??[2J?(??");
}

TEST(DeviceClassification, SysfsBitmapsReadWordsMostSignificantFirst) {
    // A wheel mouse's capabilities/rel, and keys in the fifth word from the end (ninth of 32 bits).
    EXPECT_TRUE(sysfsBitmapHas("1943", REL_WHEEL_HI_RES) && !sysfsBitmapHas("1943", REL_Z));
    EXPECT_TRUE(sysfsBitmapHas("1f0000 0 0 0 0", BTN_LEFT, 64) &&
                sysfsBitmapHas("1f0000 0 0 0 0 0 0 0 0", BTN_LEFT, 32));
    EXPECT_FALSE(sysfsBitmapHas("1f0000 0 0 0 0", KEY_ESC, 64));
    EXPECT_FALSE(sysfsBitmapHas("3", 64) || sysfsBitmapHas("zz", 0));  // short or malformed
}

// A mouse is known again by vendor, product, physical path and name; a wheel scrolls finely
// when it moves by less than half a detent.
TEST(DeviceClassification, KnowsAMouseAgainAndAWheelThatScrollsFinely) {
    EXPECT_EQ((KnownWheelMouse{"a/b", 0x46d, 0xc077, "usb-1/input0", true, true}.id()),
              "046d:c077/usb-1/input0/a/b");
    const std::tuple<int, int, bool> rows[] = {{REL_WHEEL_HI_RES, 120, false},
                                               {REL_WHEEL_HI_RES, -60, false},
                                               {REL_WHEEL_HI_RES, 15, true},
                                               {REL_HWHEEL_HI_RES, -8, true},
                                               {REL_X, 15, false}};
    for (const auto& [code, value, fine] : rows) {
        const input_event frame[] = {makeInputEvent(EV_REL, code, value)};
        EXPECT_EQ(movesWheelFinely(frame), fine) << code << " " << value;
    }
}

// Judged under another root, uinput is that root's node: a stand-in system for tests.
TEST(InputAccess, NeedsUinputUnderItsRootAndEveryWheelMouseOrElseAnyReadableNode) {
    using Node = InputAccessFacts::Node;
    const Node keyboard{"/dev/input/event0", false, false}, mouse{"/dev/input/event3", true, true},
        lockedMouse{"/dev/input/event4", true, false}, other{"/dev/input/event5", false, true};
    const std::pair<InputAccessFacts, bool> cases[] = {
        {{false, {mouse}}, false},
        {{true, {mouse}}, true},
        {{true, {keyboard, mouse, lockedMouse}}, false},
        {{true, {keyboard}}, false},
        {{true, {keyboard, other}}, true},
        {{true, {}}, true},  // no nodes: uinput decides
    };
    for (const auto& [facts, trusted] : cases)
        EXPECT_EQ(hasInputAccess(facts), trusted) << &facts - &cases[0].first;

    int prompts = 0;
    bool granted = false;
    InputAccessTrust trust([&] { ++prompts; }, [&] { return InputAccessFacts{granted, {}}; });
    EXPECT_FALSE(trust.isProcessTrusted());
    granted = true;  // asked afresh each time, never prompting
    EXPECT_TRUE(trust.isProcessTrusted() && prompts == 0);
    trust.promptForTrust();
    EXPECT_EQ(prompts, 1);

    char pattern[] = "/tmp/glidewheel-root-XXXXXX";
    const std::string root = ::mkdtemp(pattern);
    EXPECT_FALSE(probeInputAccess(root).uinputWritable);
    std::filesystem::create_directory(root + "/dev");
    ASSERT_TRUE(std::ofstream(root + "/dev/uinput"));
    EXPECT_TRUE(probeInputAccess(root).uinputWritable);
    std::filesystem::remove_all(root);
}

}  // namespace
}  // namespace glidewheel::platform::linuxdesktop
