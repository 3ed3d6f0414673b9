// SPDX-License-Identifier: MIT

#include "platform/linux/input/devices/device_probe.h"

#include "platform/linux/input/devices/handles.h"

#include <linux/input.h>
#include <unistd.h>

#include <charconv>
#include <cstdint>
#include <string>
#include <vector>

namespace glidewheel::platform::linuxdesktop {

namespace {

// udev's test for a keyboard: the first 31 key codes (KEY_ESC .. KEY_S).
constexpr unsigned kFirstKeyboardKey = KEY_ESC;
constexpr unsigned kLastKeyboardKey = KEY_S;

template <typename Has>
void fillCodes(DeviceCapabilities& caps, Has has) {
    caps.relativeX = has(EV_REL, REL_X);
    caps.relativeY = has(EV_REL, REL_Y);
    caps.leftButton = has(EV_KEY, BTN_LEFT);
    caps.verticalWheel = has(EV_REL, REL_WHEEL) || has(EV_REL, REL_WHEEL_HI_RES);
    caps.horizontalWheel = has(EV_REL, REL_HWHEEL) || has(EV_REL, REL_HWHEEL_HI_RES);
    caps.keyboardKeys = true;
    for (unsigned key = kFirstKeyboardKey; key <= kLastKeyboardKey; ++key) {
        if (!has(EV_KEY, key)) {
            caps.keyboardKeys = false;
            break;
        }
    }
}

std::string_view attribute(udev_device* device, const char* name) {
    const char* value = udev_device_get_sysattr_value(device, name);
    return value ? std::string_view(value) : std::string_view();
}

std::uint16_t hexAttribute(udev_device* device, const char* name) {
    const std::string_view text = attribute(device, name);
    unsigned value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value, 16);
    return static_cast<std::uint16_t>(value);
}

bool propertyIsSet(udev_device* device, const char* name) {
    const char* value = udev_device_get_property_value(device, name);
    return value != nullptr && std::string_view(value) == "1";
}

}  // namespace

bool sysfsBitmapHas(std::string_view bitmap, unsigned bit, unsigned wordBits) {
    std::vector<std::string_view> words;
    std::size_t start = 0;
    while (start < bitmap.size()) {
        const std::size_t end = std::min(bitmap.find(' ', start), bitmap.size());
        if (end > start) words.push_back(bitmap.substr(start, end - start));
        start = end + 1;
    }
    const std::size_t index = bit / wordBits;  // counted from the last word
    if (index >= words.size()) return false;
    const std::string_view word = words[words.size() - 1 - index];
    std::uint64_t value = 0;
    const auto result = std::from_chars(word.data(), word.data() + word.size(), value, 16);
    if (result.ec != std::errc() || result.ptr != word.data() + word.size()) return false;
    return ((value >> (bit % wordBits)) & 1u) != 0;
}

DeviceCapabilities capabilitiesOf(const libevdev* device) {
    DeviceCapabilities caps;
    const char* name = libevdev_get_name(device);
    caps.name = name ? name : "";
    caps.bustype = static_cast<std::uint16_t>(libevdev_get_id_bustype(device));
    caps.vendor = static_cast<std::uint16_t>(libevdev_get_id_vendor(device));
    caps.product = static_cast<std::uint16_t>(libevdev_get_id_product(device));
    const char* physicalPath = libevdev_get_phys(device);
    caps.physicalPath = physicalPath ? physicalPath : "";
    fillCodes(caps, [device](unsigned type, unsigned code) {
        return libevdev_has_event_code(device, type, code) != 0;
    });
    caps.absoluteAxes = libevdev_has_event_type(device, EV_ABS) != 0;
    caps.pointingStickProperty = libevdev_has_property(device, INPUT_PROP_POINTING_STICK) != 0;
    return caps;
}

WheelResolution wheelResolutionOf(const libevdev* device) {
    return WheelResolution{libevdev_has_event_code(device, EV_REL, REL_WHEEL_HI_RES) != 0,
                           libevdev_has_event_code(device, EV_REL, REL_HWHEEL_HI_RES) != 0};
}

DeviceCapabilities capabilitiesFromSysfs(udev_device* eventNode) {
    DeviceCapabilities caps;
    udev_device* input = udev_device_get_parent_with_subsystem_devtype(eventNode, "input", nullptr);
    if (input == nullptr) return caps;
    caps.name = std::string(attribute(input, "name"));
    caps.bustype = hexAttribute(input, "id/bustype");
    caps.vendor = hexAttribute(input, "id/vendor");
    caps.product = hexAttribute(input, "id/product");
    caps.physicalPath = std::string(attribute(input, "phys"));
    const std::string_view rel = attribute(input, "capabilities/rel");
    const std::string_view key = attribute(input, "capabilities/key");
    fillCodes(caps, [&](unsigned type, unsigned code) {
        return sysfsBitmapHas(type == EV_REL ? rel : key, code);
    });
    caps.absoluteAxes = sysfsBitmapHas(attribute(input, "capabilities/ev"), EV_ABS);
    caps.pointingStickProperty =
        sysfsBitmapHas(attribute(input, "properties"), INPUT_PROP_POINTING_STICK);
    return caps;
}

void addUdevTags(udev_device* eventNode, DeviceCapabilities& capabilities) {
    capabilities.udevTouchpad = propertyIsSet(eventNode, "ID_INPUT_TOUCHPAD");
    capabilities.udevTablet = propertyIsSet(eventNode, "ID_INPUT_TABLET");
    capabilities.udevPointingStick = propertyIsSet(eventNode, "ID_INPUT_POINTINGSTICK");
    capabilities.udevKeyboard = propertyIsSet(eventNode, "ID_INPUT_KEYBOARD");
}

void forEachEventNode(udev* context, const std::function<void(udev_device*)>& visit) {
    UdevEnumeratePtr enumerate(udev_enumerate_new(context));
    if (!enumerate) return;
    udev_enumerate_add_match_subsystem(enumerate.get(), "input");
    udev_enumerate_add_match_sysname(enumerate.get(), "event*");
    udev_enumerate_scan_devices(enumerate.get());
    udev_list_entry* entry;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumerate.get())) {
        UdevDevicePtr node(udev_device_new_from_syspath(context, udev_list_entry_get_name(entry)));
        if (node) visit(node.get());
    }
}

bool udevDaemonRuns() { return ::access("/run/udev/control", F_OK) == 0; }

}  // namespace glidewheel::platform::linuxdesktop
