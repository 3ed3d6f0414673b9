// SPDX-License-Identifier: MIT

#include "platform/linux/input/devices/device_classification.h"

#include <linux/uinput.h>

namespace glidewheel::platform::linuxdesktop {

std::string cloneName(std::string_view originalName) {
    std::string name(kCloneNamePrefix);
    name += originalName;
    name += ')';
    // uinput takes names of up to UINPUT_MAX_NAME_SIZE bytes, terminator included.
    if (name.size() >= UINPUT_MAX_NAME_SIZE) {
        name.resize(UINPUT_MAX_NAME_SIZE - 2);
        name += ')';
    }
    return name;
}

bool isOwnClone(const DeviceCapabilities& device) {
    return device.bustype == kCloneBustype && device.vendor == kCloneVendor &&
           device.product == kCloneProduct && device.name.starts_with(kCloneNamePrefix);
}

bool isWheelMouse(const DeviceCapabilities& device) {
    if (isOwnClone(device)) return false;
    if (device.absoluteAxes || device.keyboardKeys || device.pointingStickProperty) return false;
    if (device.udevTouchpad || device.udevTablet || device.udevPointingStick ||
        device.udevKeyboard) {
        return false;
    }
    return device.relativeX && device.relativeY && device.leftButton &&
           (device.verticalWheel || device.horizontalWheel);
}

}  // namespace glidewheel::platform::linuxdesktop
