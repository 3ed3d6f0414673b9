#include "platform/linux/input/input_access_trust.h"

#include <unistd.h>

#include <algorithm>
#include <string_view>

#include "platform/linux/input/device_probe.h"
#include "platform/linux/input/handles.h"

namespace glidewheel::platform::linuxdesktop {

bool hasInputAccess(const InputAccessFacts& facts) {
    if (!facts.uinputWritable) return false;
    const auto& nodes = facts.eventNodes;
    if (nodes.empty()) return true;
    const bool anyWheelMouse =
        std::any_of(nodes.begin(), nodes.end(), [](const auto& node) { return node.wheelMouse; });
    if (anyWheelMouse) {
        return std::all_of(nodes.begin(), nodes.end(),
                           [](const auto& node) { return !node.wheelMouse || node.readable; });
    }
    return std::any_of(nodes.begin(), nodes.end(), [](const auto& node) { return node.readable; });
}

InputAccessFacts probeInputAccess() {
    InputAccessFacts facts;
    facts.uinputWritable = ::access("/dev/uinput", R_OK | W_OK) == 0;

    UdevPtr context(udev_new());
    if (!context) return facts;
    UdevEnumeratePtr enumerate(udev_enumerate_new(context.get()));
    if (!enumerate) return facts;
    udev_enumerate_add_match_subsystem(enumerate.get(), "input");
    udev_enumerate_add_match_sysname(enumerate.get(), "event*");
    udev_enumerate_scan_devices(enumerate.get());
    udev_list_entry* entry;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumerate.get())) {
        UdevDevicePtr device(
            udev_device_new_from_syspath(context.get(), udev_list_entry_get_name(entry)));
        if (!device) continue;
        const char* devnode = udev_device_get_devnode(device.get());
        if (devnode == nullptr) continue;
        DeviceCapabilities caps = capabilitiesFromSysfs(device.get());
        addUdevTags(device.get(), caps);
        facts.eventNodes.push_back(
            InputAccessFacts::Node{devnode, isWheelMouse(caps), ::access(devnode, R_OK) == 0});
    }
    return facts;
}

InputAccessTrust::InputAccessTrust(std::function<void()> prompt)
    : InputAccessTrust(std::move(prompt), &probeInputAccess) {}

InputAccessTrust::InputAccessTrust(std::function<void()> prompt, Probe probe)
    : prompt_(std::move(prompt)), probe_(std::move(probe)) {}

bool InputAccessTrust::isProcessTrusted() const { return hasInputAccess(probe_()); }

void InputAccessTrust::promptForTrust() {
    if (prompt_) prompt_();
}

}  // namespace glidewheel::platform::linuxdesktop
