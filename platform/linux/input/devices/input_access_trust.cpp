// SPDX-License-Identifier: MIT

#include "platform/linux/input/devices/input_access_trust.h"

#include <unistd.h>

#include <algorithm>
#include <string_view>

#include "platform/linux/input/devices/device_probe.h"
#include "platform/linux/input/devices/handles.h"

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

InputAccessFacts probeInputAccess(const std::string& root) {
    InputAccessFacts facts;
    facts.uinputWritable = ::access((root + "/dev/uinput").c_str(), R_OK | W_OK) == 0;

    UdevPtr context(udev_new());
    if (!context) return facts;
    forEachEventNode(context.get(), [&facts, &root](udev_device* device) {
        const char* devnode = udev_device_get_devnode(device);
        if (devnode == nullptr) return;
        DeviceCapabilities caps = capabilitiesFromSysfs(device);
        addUdevTags(device, caps);
        facts.eventNodes.push_back(
            InputAccessFacts::Node{devnode, isWheelMouse(caps),
                                   ::access((root + devnode).c_str(), R_OK) == 0});
    });
    return facts;
}

InputAccessTrust::InputAccessTrust(std::function<void()> prompt)
    : InputAccessTrust(std::move(prompt), [] { return probeInputAccess(); }) {}

InputAccessTrust::InputAccessTrust(std::function<void()> prompt, Probe probe)
    : prompt_(std::move(prompt)), probe_(std::move(probe)) {}

bool InputAccessTrust::isProcessTrusted() const { return hasInputAccess(probe_()); }

void InputAccessTrust::promptForTrust() {
    if (prompt_) prompt_();
}

}  // namespace glidewheel::platform::linuxdesktop
