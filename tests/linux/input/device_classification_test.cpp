#include "platform/linux/input/device_classification.h"

#include <gtest/gtest.h>
#include <linux/input.h>
#include <linux/uinput.h>

#include <functional>
#include <string>

#include "platform/linux/input/device_probe.h"

namespace glidewheel::platform::linuxdesktop {
namespace {

DeviceCapabilities wheelMouse() {
    DeviceCapabilities caps;
    caps.name = "Logi M100";
    caps.bustype = BUS_USB;
    caps.vendor = 0x046d;
    caps.product = 0xc077;
    caps.relativeX = caps.relativeY = caps.leftButton = caps.verticalWheel = true;
    return caps;
}

struct Case {
    const char* what;
    std::function<void(DeviceCapabilities&)> change;
    bool taken;
};

TEST(DeviceClassification, TakesPlainWheelMiceOnly) {
    const Case cases[] = {
        {"wheel mouse", [](DeviceCapabilities&) {}, true},
        {"mouse with both wheels", [](DeviceCapabilities& c) { c.horizontalWheel = true; }, true},
        {"mouse with a sideways wheel only",
         [](DeviceCapabilities& c) {
             c.verticalWheel = false;
             c.horizontalWheel = true;
         },
         true},
        {"mouse without a wheel", [](DeviceCapabilities& c) { c.verticalWheel = false; }, false},
        {"wheel without pointer motion", [](DeviceCapabilities& c) { c.relativeY = false; },
         false},
        {"no left button", [](DeviceCapabilities& c) { c.leftButton = false; }, false},
        {"absolute axes (tablet, touchscreen)",
         [](DeviceCapabilities& c) { c.absoluteAxes = true; }, false},
        {"touchpad by udev", [](DeviceCapabilities& c) { c.udevTouchpad = true; }, false},
        {"tablet by udev", [](DeviceCapabilities& c) { c.udevTablet = true; }, false},
        {"pointing stick by udev", [](DeviceCapabilities& c) { c.udevPointingStick = true; },
         false},
        {"pointing stick by property",
         [](DeviceCapabilities& c) { c.pointingStickProperty = true; }, false},
        {"keyboard and mouse in one device", [](DeviceCapabilities& c) { c.keyboardKeys = true; },
         false},
        {"keyboard by udev", [](DeviceCapabilities& c) { c.udevKeyboard = true; }, false},
        {"our own clone",
         [](DeviceCapabilities& c) {
             c.name = cloneName("Logi M100");
             c.bustype = kCloneBustype;
             c.vendor = kCloneVendor;
             c.product = kCloneProduct;
         },
         false},
        {"another program's uinput mouse",
         [](DeviceCapabilities& c) {
             c.name = "virtual mouse";
             c.bustype = BUS_VIRTUAL;
             c.vendor = 0x1234;
             c.product = 0x5678;
         },
         true},
        {"another program's mouse that borrows our name only",
         [](DeviceCapabilities& c) {
             c.name = cloneName("x");
             c.bustype = BUS_VIRTUAL;
         },
         true},
        {"our ids under another name",
         [](DeviceCapabilities& c) {
             c.bustype = kCloneBustype;
             c.vendor = kCloneVendor;
             c.product = kCloneProduct;
         },
         true},
    };
    for (const Case& c : cases) {
        DeviceCapabilities caps = wheelMouse();
        c.change(caps);
        EXPECT_EQ(isWheelMouse(caps), c.taken) << c.what;
    }
}

TEST(CloneName, NamesTheOriginalAndFitsUinput) {
    EXPECT_EQ(cloneName("Logi M100"), "Glidewheel smooth scrolling (Logi M100)");
    const std::string longName = cloneName(std::string(200, 'm'));
    EXPECT_LT(longName.size(), std::size_t{UINPUT_MAX_NAME_SIZE});
    EXPECT_TRUE(longName.starts_with(kCloneNamePrefix));
    EXPECT_EQ(longName.back(), ')');
}

TEST(SysfsBitmap, ReadsWordsMostSignificantFirst) {
    // A mouse's capabilities/rel: REL_X, REL_Y, REL_HWHEEL, REL_WHEEL, REL_WHEEL_HI_RES,
    // REL_HWHEEL_HI_RES.
    const char* rel = "1943";
    for (unsigned code : {REL_X, REL_Y, REL_HWHEEL, REL_WHEEL, REL_WHEEL_HI_RES,
                          REL_HWHEEL_HI_RES}) {
        EXPECT_TRUE(sysfsBitmapHas(rel, code)) << code;
    }
    EXPECT_FALSE(sysfsBitmapHas(rel, REL_Z));
    EXPECT_FALSE(sysfsBitmapHas(rel, REL_DIAL));

    // capabilities/key of a mouse: buttons live in the fifth 64-bit word from the end.
    const char* key = "1f0000 0 0 0 0";
    EXPECT_TRUE(sysfsBitmapHas(key, BTN_LEFT, 64));
    EXPECT_TRUE(sysfsBitmapHas(key, BTN_EXTRA, 64));
    EXPECT_FALSE(sysfsBitmapHas(key, KEY_ESC, 64));
    // The same bits in 32-bit words.
    EXPECT_TRUE(sysfsBitmapHas("1f0000 0 0 0 0 0 0 0 0", BTN_LEFT, 32));
}

TEST(SysfsBitmap, MalformedOrShortBitmapsHaveNoBits) {
    EXPECT_FALSE(sysfsBitmapHas("", 0));
    EXPECT_FALSE(sysfsBitmapHas("3", 64));
    EXPECT_FALSE(sysfsBitmapHas("zz", 0));
    EXPECT_FALSE(sysfsBitmapHas("1 2 3 4 5 6 7 8", 1000));
}

}  // namespace
}  // namespace glidewheel::platform::linuxdesktop
