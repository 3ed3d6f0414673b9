#pragma once

#include <libevdev/libevdev-uinput.h>
#include <libevdev/libevdev.h>
#include <libudev.h>
#include <unistd.h>

#include <cstddef>
#include <memory>

namespace glidewheel::platform::linuxdesktop {

// A file descriptor as the pointer of a unique_ptr: -1 is empty.
struct FileDescriptor {
    int fd = -1;

    FileDescriptor() = default;
    FileDescriptor(std::nullptr_t) {}
    explicit FileDescriptor(int descriptor) : fd(descriptor) {}
    explicit operator bool() const { return fd >= 0; }
    friend bool operator==(FileDescriptor, FileDescriptor) = default;
};

struct FileDescriptorCloser {
    using pointer = FileDescriptor;
    void operator()(FileDescriptor descriptor) const { ::close(descriptor.fd); }
};
using UniqueFd = std::unique_ptr<FileDescriptor, FileDescriptorCloser>;

inline UniqueFd adoptFd(int fd) { return UniqueFd(fd >= 0 ? FileDescriptor(fd) : FileDescriptor()); }

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
