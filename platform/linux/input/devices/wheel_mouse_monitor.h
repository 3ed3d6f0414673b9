// SPDX-License-Identifier: MIT

#pragma once

#include <libudev.h>

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/known_wheel_mouse.h"
#include "platform/linux/input/devices/device_classification.h"
#include "platform/linux/input/devices/handles.h"
#include "platform/linux/input/input_loop.h"

namespace glidewheel::platform::linuxdesktop {

// An event node that sysfs says is a wheel mouse: a plain value, so it can be opened on any
// thread (libudev's objects belong to the thread that follows udev).
struct WheelMouseNode {
    std::string syspath;
    std::string devnode;          // /dev/input/event*
    DeviceCapabilities udevTags;  // only udev's ID_INPUT_* classification is filled in
    KnownWheelMouse identity;     // from sysfs, so that a mouse to leave alone is never opened
};

// Discovers wheel mice and follows them through udev: reports each event node that sysfs says
// is a wheel mouse, present at the start or plugged in later, and each event node unplugged.
// Keyboards and the like are judged without ever being opened.
class WheelMouseMonitor {
public:
    using Added = std::function<void(const WheelMouseNode& mouse)>;
    using Removed = std::function<void(std::string_view syspath)>;

    // Null, with a log line, when udev cannot be followed. Any thread.
    static std::unique_ptr<WheelMouseMonitor> create();

    WheelMouseMonitor(const WheelMouseMonitor&) = delete;
    WheelMouseMonitor& operator=(const WheelMouseMonitor&) = delete;
    ~WheelMouseMonitor();  // input thread, once started

    // Input thread. Follows changes first, then reports the mice present, so that none slips
    // between the two; a mouse may so be reported twice.
    void start(InputLoop& loop, Added added, Removed removed);

private:
    WheelMouseMonitor(UdevPtr context, UdevMonitorPtr monitor);
    void onReadable();
    void report(udev_device* eventNode);

    UdevPtr context_;
    UdevMonitorPtr monitor_;
    std::unique_ptr<InputLoop::Watch> watch_;
    Added added_;
    Removed removed_;
};

}  // namespace glidewheel::platform::linuxdesktop
