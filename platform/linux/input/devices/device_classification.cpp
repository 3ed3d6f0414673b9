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
        std::size_t cut = UINPUT_MAX_NAME_SIZE - 2;
        while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xc0) == 0x80) --cut;
        name.resize(cut);
        name += ')';
    }
    return name;
}

namespace {

// The length of the well-formed UTF-8 sequence that starts at `at`, or 0 where none does.
std::size_t sequenceLength(std::string_view text, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    const std::size_t length = lead < 0x80                   ? 1
                               : lead >= 0xc2 && lead < 0xe0 ? 2
                               : lead >= 0xe0 && lead < 0xf0 ? 3
                               : lead >= 0xf0 && lead < 0xf5 ? 4
                                                             : 0;
    if (length == 0 || at + length > text.size()) return 0;
    for (std::size_t i = at + 1; i < at + length; ++i)
        if ((byte(i) & 0xc0) != 0x80) return 0;
    return length;
}

}  // namespace

std::string printableName(std::string_view name) {
    std::string out;
    for (std::size_t at = 0; at < name.size();) {
        const std::size_t length = sequenceLength(name, at);
        const unsigned char lead = static_cast<unsigned char>(name[at]);
        if (length == 0 || (length == 1 && (lead < 0x20 || lead == 0x7f))) {
            out += '?';
            ++at;
        } else {
            out.append(name.substr(at, length));
            at += length;
        }
    }
    return out;
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
