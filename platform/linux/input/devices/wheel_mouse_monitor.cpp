// SPDX-License-Identifier: MIT

#include "platform/linux/input/devices/wheel_mouse_monitor.h"

#include "platform/linux/input/devices/device_probe.h"
#include "platform/linux/input/rate_limited_log.h"

namespace glidewheel::platform::linuxdesktop {

std::unique_ptr<WheelMouseMonitor> WheelMouseMonitor::create() {
    UdevPtr context(udev_new());
    if (!context) return nullptr;
    // Without a udev daemon (a bare system), the kernel's own announcements are all there is;
    // with one, its announcements come after it has set the node's permissions.
    UdevMonitorPtr monitor(
        udev_monitor_new_from_netlink(context.get(), udevDaemonRuns() ? "udev" : "kernel"));
    if (!monitor ||
        udev_monitor_filter_add_match_subsystem_devtype(monitor.get(), "input", nullptr) < 0 ||
        udev_monitor_enable_receiving(monitor.get()) < 0) {
        logInputProblem("cannot follow input devices through udev");
        return nullptr;
    }
    return std::unique_ptr<WheelMouseMonitor>(
        new WheelMouseMonitor(std::move(context), std::move(monitor)));
}

WheelMouseMonitor::WheelMouseMonitor(UdevPtr context, UdevMonitorPtr monitor)
    : context_(std::move(context)), monitor_(std::move(monitor)) {}

WheelMouseMonitor::~WheelMouseMonitor() = default;

void WheelMouseMonitor::start(InputLoop& loop, Added added, Removed removed) {
    added_ = std::move(added);
    removed_ = std::move(removed);
    watch_ = loop.watchReadable(udev_monitor_get_fd(monitor_.get()), [this] { onReadable(); });
    forEachEventNode(context_.get(), [this](udev_device* node) { report(node); });
}

void WheelMouseMonitor::onReadable() {
    while (UdevDevicePtr node{udev_monitor_receive_device(monitor_.get())}) {
        const char* action = udev_device_get_action(node.get());
        const std::string_view what = action ? action : "";
        if (what == "add") {
            report(node.get());
        } else if (what == "remove") {
            if (const char* syspath = udev_device_get_syspath(node.get())) removed_(syspath);
        }
    }
}

void WheelMouseMonitor::report(udev_device* eventNode) {
    const char* sysname = udev_device_get_sysname(eventNode);
    const char* syspath = udev_device_get_syspath(eventNode);
    const char* devnode = udev_device_get_devnode(eventNode);
    if (!sysname || !syspath || !devnode) return;
    if (!std::string_view(sysname).starts_with("event")) return;
    DeviceCapabilities caps = capabilitiesFromSysfs(eventNode);
    addUdevTags(eventNode, caps);
    if (!isWheelMouse(caps)) return;
    WheelMouseNode mouse{syspath, devnode, {}, {}};
    mouse.identity.name = caps.name;
    mouse.identity.vendor = caps.vendor;
    mouse.identity.product = caps.product;
    mouse.identity.physicalPath = caps.physicalPath;
    addUdevTags(eventNode, mouse.udevTags);
    added_(mouse);
}

}  // namespace glidewheel::platform::linuxdesktop
