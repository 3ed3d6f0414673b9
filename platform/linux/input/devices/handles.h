// SPDX-License-Identifier: MIT

#pragma once

#include <libevdev/libevdev-uinput.h>
#include <libevdev/libevdev.h>
#include <libudev.h>

#include <memory>

#include "platform/linux/base/unique_fd.h"

namespace glidewheel::platform::linuxdesktop {

struct LibevdevFree {
    void operator()(libevdev* device) const { libevdev_free(device); }
};
using LibevdevPtr = std::unique_ptr<libevdev, LibevdevFree>;

struct UinputDestroy {
    void operator()(libevdev_uinput* device) const { libevdev_uinput_destroy(device); }
};
using UinputPtr = std::unique_ptr<libevdev_uinput, UinputDestroy>;

struct UdevUnref {
    void operator()(udev* context) const { udev_unref(context); }
    void operator()(udev_monitor* monitor) const { udev_monitor_unref(monitor); }
    void operator()(udev_enumerate* enumerate) const { udev_enumerate_unref(enumerate); }
    void operator()(udev_device* device) const { udev_device_unref(device); }
};
using UdevPtr = std::unique_ptr<udev, UdevUnref>;
using UdevMonitorPtr = std::unique_ptr<udev_monitor, UdevUnref>;
using UdevEnumeratePtr = std::unique_ptr<udev_enumerate, UdevUnref>;
using UdevDevicePtr = std::unique_ptr<udev_device, UdevUnref>;

}  // namespace glidewheel::platform::linuxdesktop
