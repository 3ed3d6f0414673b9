// SPDX-License-Identifier: MIT

#include "platform/linux/input/devices/clone_sink.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/linux/input/devices/device_classification.h"
#include "platform/linux/input/rate_limited_log.h"

namespace glidewheel::platform::linuxdesktop {

namespace {

// A fresh description with the source's capabilities, so the device we read stays untouched.
LibevdevPtr cloneTemplate(const libevdev* source) {
    LibevdevPtr clone(libevdev_new());
    if (!clone) return nullptr;
    const char* sourceName = libevdev_get_name(source);
    libevdev_set_name(clone.get(), cloneName(sourceName ? sourceName : "").c_str());
    libevdev_set_id_bustype(clone.get(), kCloneBustype);
    libevdev_set_id_vendor(clone.get(), kCloneVendor);
    libevdev_set_id_product(clone.get(), kCloneProduct);
    libevdev_set_id_version(clone.get(), libevdev_get_id_version(source));

    for (unsigned prop = 0; prop <= INPUT_PROP_MAX; ++prop) {
        if (libevdev_has_property(source, prop)) libevdev_enable_property(clone.get(), prop);
    }
    for (unsigned type = 0; type <= EV_MAX; ++type) {
        if (type == EV_REP || !libevdev_has_event_type(source, type)) continue;
        libevdev_enable_event_type(clone.get(), type);
        const int maxCode = libevdev_event_type_get_max(type);
        for (int code = 0; code <= maxCode; ++code) {
            if (!libevdev_has_event_code(source, type, static_cast<unsigned>(code))) continue;
            const void* data = type == EV_ABS
                                   ? libevdev_get_abs_info(source, static_cast<unsigned>(code))
                                   : nullptr;
            libevdev_enable_event_code(clone.get(), type, static_cast<unsigned>(code), data);
        }
    }
    for (unsigned code : {REL_WHEEL, REL_HWHEEL, REL_WHEEL_HI_RES, REL_HWHEEL_HI_RES}) {
        libevdev_enable_event_code(clone.get(), EV_REL, code, nullptr);
    }
    return clone;
}

input_event make(std::uint16_t type, std::uint16_t code, std::int32_t value) {
    input_event event{};
    event.type = type;
    event.code = code;
    event.value = value;
    return event;
}

}  // namespace

std::unique_ptr<CloneSink> CloneSink::create(const libevdev* source, std::string& error) {
    LibevdevPtr description = cloneTemplate(source);
    if (!description) {
        error = "out of memory";
        return nullptr;
    }
    UniqueFd fd = adoptFd(::open("/dev/uinput", O_RDWR | O_CLOEXEC));
    if (!fd) {
        error = std::strerror(errno);
        return nullptr;
    }
    libevdev_uinput* created = nullptr;
    const int rc = libevdev_uinput_create_from_device(description.get(), fd.get().fd, &created);
    if (rc != 0) {
        error = std::strerror(-rc);
        return nullptr;
    }
    return std::unique_ptr<CloneSink>(new CloneSink(std::move(fd), UinputPtr(created)));
}

CloneSink::CloneSink(UniqueFd uinputFd, UinputPtr uinput)
    : uinputFd_(std::move(uinputFd)), uinput_(std::move(uinput)) {}

std::string CloneSink::devnode() const {
    const char* node = libevdev_uinput_get_devnode(uinput_.get());
    return node ? node : "";
}

bool CloneSink::writeFrame(std::span<const input_event> frame) {
    std::scoped_lock guard(mutex_);
    return writeLocked(frame);
}

bool CloneSink::writeLocked(std::span<const input_event> frame) {
    if (frame.empty()) return true;
    const std::size_t bytes = frame.size_bytes();
    ssize_t written;
    do {
        written = ::write(uinputFd_.get().fd, frame.data(), bytes);
    } while (written < 0 && errno == EINTR);
    if (written == static_cast<ssize_t>(bytes)) return true;
    logInputProblem(std::string("cannot write to a virtual mouse: ") +
                    (written < 0 ? std::strerror(errno) : "short write"));
    return false;
}

void CloneSink::writeWheel(WheelAxis axis, WheelCodes codes) {
    const bool vertical = axis == WheelAxis::vertical;
    input_event frame[3];
    std::size_t size = 0;
    if (codes.detents != 0)
        frame[size++] = make(EV_REL, vertical ? REL_WHEEL : REL_HWHEEL, codes.detents);
    if (codes.units != 0)
        frame[size++] = make(EV_REL, vertical ? REL_WHEEL_HI_RES : REL_HWHEEL_HI_RES, codes.units);
    if (size == 0) return;
    frame[size++] = make(EV_SYN, SYN_REPORT, 0);
    writeFrame(std::span(frame, size));
}

}  // namespace glidewheel::platform::linuxdesktop
