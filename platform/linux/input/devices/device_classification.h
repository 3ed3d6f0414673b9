// SPDX-License-Identifier: MIT

#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace glidewheel::platform::linuxdesktop {

// The virtual mouse that stands in for each grabbed mouse is recognised by this name prefix
// together with these ids, so that the tap never takes its own clones (or those of another
// instance). Mice that other programs make through uinput are ordinary mice.
inline constexpr std::string_view kCloneNamePrefix = "Glidewheel smooth scrolling (";
inline constexpr std::uint16_t kCloneBustype = 0x06;    // BUS_VIRTUAL
inline constexpr std::uint16_t kCloneVendor = 0x474C;   // "GL"
inline constexpr std::uint16_t kCloneProduct = 0x5357;  // "SW"

// The clone's name for a mouse of the given name, cut to what uinput accepts, never inside a
// UTF-8 sequence.
std::string cloneName(std::string_view originalName);

// A device's name as a log line may carry it: a name is whatever bytes the device reports, so
// control characters and bytes that are not well-formed UTF-8 become '?'.
std::string printableName(std::string_view name);

// What an input device can do, as far as choosing wheel mice needs to know. Filled from the
// device itself (libevdev or sysfs) and, where a udev daemon runs, from its properties.
struct DeviceCapabilities {
    std::string name;
    std::uint16_t bustype = 0;
    std::uint16_t vendor = 0;
    std::uint16_t product = 0;
    std::string physicalPath;  // EVIOCGPHYS: where it is plugged in

    bool relativeX = false;
    bool relativeY = false;
    bool leftButton = false;
    bool verticalWheel = false;          // REL_WHEEL or REL_WHEEL_HI_RES
    bool horizontalWheel = false;        // REL_HWHEEL or REL_HWHEEL_HI_RES
    bool absoluteAxes = false;           // any EV_ABS code
    bool keyboardKeys = false;           // the keys of a keyboard's top-left block (KEY_ESC..KEY_S)
    bool pointingStickProperty = false;  // INPUT_PROP_POINTING_STICK

    // udev's ID_INPUT_* classification, false where no udev daemon tagged the device.
    bool udevTouchpad = false;
    bool udevTablet = false;
    bool udevPointingStick = false;
    bool udevKeyboard = false;
};

bool isOwnClone(const DeviceCapabilities& device);

// A plain wheel mouse: relative X and Y, a left button and a wheel, and nothing that makes it
// a touchpad, tablet, pointing stick or keyboard. Keyboard-and-mouse combinations are left
// alone: grabbing them would route typing through us.
bool isWheelMouse(const DeviceCapabilities& device);

}  // namespace glidewheel::platform::linuxdesktop
