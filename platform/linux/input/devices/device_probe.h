// SPDX-License-Identifier: MIT

#pragma once

#include <libevdev/libevdev.h>
#include <libudev.h>

#include <functional>
#include <string_view>

#include "platform/linux/input/devices/device_classification.h"
#include "platform/linux/input/wheel/wheel_frame.h"

namespace glidewheel::platform::linuxdesktop {

// Whether bit `bit` is set in a sysfs capability bitmap ("capabilities/rel" and the like):
// hexadecimal words of `wordBits` bits, separated by spaces, the most significant first.
bool sysfsBitmapHas(std::string_view bitmap, unsigned bit, unsigned wordBits = sizeof(long) * 8);

// From an open device.
DeviceCapabilities capabilitiesOf(const libevdev* device);
WheelResolution wheelResolutionOf(const libevdev* device);

// From the sysfs attributes of an event node's input device, without opening it.
DeviceCapabilities capabilitiesFromSysfs(udev_device* eventNode);

// Adds udev's ID_INPUT_* tags of the node, where a udev daemon set them.
void addUdevTags(udev_device* eventNode, DeviceCapabilities& capabilities);

// Calls `visit` with every event node of the input subsystem present now.
void forEachEventNode(udev* context, const std::function<void(udev_device*)>& visit);

// True when a udev daemon runs, so that its events and properties can be relied on.
bool udevDaemonRuns();

}  // namespace glidewheel::platform::linuxdesktop
