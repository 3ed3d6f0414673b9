// SPDX-License-Identifier: MIT

#include "platform/linux/input/devices/grabbed_mouse.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <bitset>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <string_view>
#include <utility>

#include "platform/linux/base/describe_error.h"
#include "platform/linux/input/devices/device_probe.h"

namespace glidewheel::platform::linuxdesktop {

namespace {

std::chrono::nanoseconds stampOf(const input_event& event) {
    return std::chrono::seconds(event.time.tv_sec) + std::chrono::microseconds(event.time.tv_usec);
}

// The stamps of the first and the last frame `fd` holds, reading all it holds; none when empty.
// First it waits out a frame the kernel may still be handing round its readers: asking for the
// LEDs takes the lock the kernel holds while it does, and, the mouse having none, drops nothing
// from the queue.
std::optional<std::pair<std::chrono::nanoseconds, std::chrono::nanoseconds>> framesHeldBy(int fd) {
    std::optional<std::pair<std::chrono::nanoseconds, std::chrono::nanoseconds>> stamps;
    unsigned long leds[(LED_CNT + 63) / 64];
    ::ioctl(fd, EVIOCGLED(sizeof leds), leds);
    input_event events[64];
    for (ssize_t got; (got = ::read(fd, events, sizeof events)) > 0;) {
        for (const input_event& event : std::span(events, std::size_t(got) / sizeof *events)) {
            if (event.type != EV_SYN || event.code != SYN_REPORT) continue;
            if (!stamps) stamps.emplace(stampOf(event), stampOf(event));
            stamps->second = stampOf(event);
        }
    }
    return stamps;
}

bool anyKeyHeld(const libevdev* device) {
    for (unsigned code = 0; code < KEY_CNT; ++code) {
        if (libevdev_get_event_value(device, EV_KEY, code) != 0) return true;
    }
    return false;
}

// Whether a key was held before `after`, the last events read: libevdev's view holds them, so a
// key they change was held if its first change is a release or a repeat.
bool anyKeyHeldBefore(const libevdev* device, std::span<const input_event> after) {
    std::bitset<KEY_CNT> changed;
    for (const input_event& event : after) {
        if (event.type != EV_KEY || event.code >= KEY_CNT || changed[event.code]) continue;
        if (event.value != 1) return true;
        changed[event.code] = true;
    }
    for (unsigned code = 0; code < KEY_CNT; ++code) {
        if (!changed[code] && libevdev_get_event_value(device, EV_KEY, code) != 0) return true;
    }
    return false;
}

// libevdev's own complaints (a device flooding its buffer, say) go through our rate limit.
void logFromLibevdev(const libevdev*, libevdev_log_priority, void*, const char*, int, const char*,
                     const char* format, va_list args) {
    char text[256];
    std::vsnprintf(text, sizeof text, format, args);
    std::string_view message(text);
    while (message.ends_with('\n')) message.remove_suffix(1);
    logInputProblem(message);
}

}  // namespace

bool movesWheelFinely(std::span<const input_event> frame) {
    constexpr int kHalfDetent = 60;  // high-resolution units
    return std::any_of(frame.begin(), frame.end(), [](const input_event& event) {
        return event.type == EV_REL &&
               (event.code == REL_WHEEL_HI_RES || event.code == REL_HWHEEL_HI_RES) &&
               event.value % kHalfDetent != 0;
    });
}

std::unique_ptr<GrabbedMouse> GrabbedMouse::open(const WheelMouseNode& node,
                                                 WheelFilter wheelFilter,
                                                 WheelWritten wheelWritten) {
    const char* devnode = node.devnode.c_str();
    std::unique_ptr<GrabbedMouse> mouse(new GrabbedMouse());
    mouse->syspath_ = node.syspath;
    mouse->devnode_ = node.devnode;
    mouse->wheelFilter_ = std::move(wheelFilter);
    mouse->wheelWritten_ = std::move(wheelWritten);
    mouse->fd_ = adoptFd(::open(devnode, O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!mouse->fd_) {
        logInputProblem(describeError("cannot open", devnode, errno));
        return nullptr;
    }
    mouse->device_.reset(libevdev_new());
    if (!mouse->device_) return nullptr;
    libevdev* device = mouse->device_.get();
    libevdev_set_device_log_function(device, &logFromLibevdev, LIBEVDEV_LOG_ERROR, nullptr);
    if (const int rc = libevdev_set_fd(device, mouse->fd_.get().fd); rc != 0) {
        logInputProblem(describeError("cannot read", devnode, -rc));
        return nullptr;
    }
    // Stamps on the display's clock, whatever the wall clock does, and the witness's alike.
    libevdev_set_clock_id(device, CLOCK_MONOTONIC);
    mouse->witness_ = adoptFd(::open(devnode, O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (const int monotonic = CLOCK_MONOTONIC;
        !mouse->witness_ || ::ioctl(mouse->witness_.get().fd, EVIOCSCLOCKID, &monotonic) != 0) {
        logInputProblem(describeError("cannot open", devnode, errno));
        return nullptr;
    }
    DeviceCapabilities opened = capabilitiesOf(device);
    opened.udevTouchpad = node.udevTags.udevTouchpad;
    opened.udevTablet = node.udevTags.udevTablet;
    opened.udevPointingStick = node.udevTags.udevPointingStick;
    opened.udevKeyboard = node.udevTags.udevKeyboard;
    if (!isWheelMouse(opened)) return nullptr;

    mouse->name_ = opened.name;
    mouse->resolution_ = wheelResolutionOf(device);
    std::string error;
    mouse->clone_ = CloneSink::create(device, error);
    if (!mouse->clone_) {
        logInputProblem("cannot make a virtual mouse for " + std::string(devnode) + ": " + error);
        return nullptr;
    }
    return mouse;
}

GrabbedMouse::~GrabbedMouse() {
    if (state_ == State::grabbed) libevdev_grab(device_.get(), LIBEVDEV_UNGRAB);
}

// What was queued before the grab is dropped: the desktop has had it. Of what is queued once the
// grab holds, the witness tells what the desktop was given too: the frames up to the last it
// holds. The rest reached no one else, and goes to the clone.
GrabbedMouse::Status GrabbedMouse::grab() {
    if (state_ == State::grabbed) return Status::ok;
    if (drain() == Status::gone) return Status::gone;
    if (anyKeyHeld(device_.get())) {
        state_ = State::awaitingRelease;
        return Status::ok;
    }
    if (const int rc = libevdev_grab(device_.get(), LIBEVDEV_GRAB); rc == -EBUSY) {
        state_ = State::idle;
        return Status::busy;
    } else if (rc != 0) {
        logInputProblem(describeError("cannot grab", devnode_, -rc));
        return Status::gone;
    }
    const auto witnessed = framesHeldBy(witness_.get().fd);
    std::vector<input_event> afterGrab;
    const auto since = witnessed ? witnessed->second + std::chrono::nanoseconds(1)
                                 : std::chrono::nanoseconds::min();
    if (drain(since, afterGrab) == Status::gone) return Status::gone;
    frame_.clear();
    detents_ = {};  // the desktop had the wheel since the last grab
    if (anyKeyHeldBefore(device_.get(), afterGrab)) {
        // Pressed just before the grab: the desktop saw the press, so it must see the release.
        // What came after it still reaches the desktop, through the clone, but for the buttons,
        // which the clone must not hold once the mouse is let go.
        libevdev_grab(device_.get(), LIBEVDEV_UNGRAB);
        std::erase_if(afterGrab, [](const input_event& event) { return event.type == EV_KEY; });
        if (!afterGrab.empty()) writeToClone(afterGrab);
        state_ = State::awaitingRelease;
        return Status::ok;
    }
    state_ = State::grabbed;
    emptiedAt_ = std::chrono::steady_clock::now();
    for (const input_event& event : afterGrab) take(event);
    return Status::ok;
}

void GrabbedMouse::release() {
    if (state_ == State::grabbed) {
        libevdev_grab(device_.get(), LIBEVDEV_UNGRAB);
        // What came while it was grabbed reached no one else: the clone has it, before it lets
        // go of what it holds pressed. That is what is queued now and came before the first
        // frame the witness, ungrabbed with the desktop, was given. Not when the wheel filter's
        // callback disables the tap mid-frame: that frame is still to be written, and nothing
        // may overtake it.
        std::vector<input_event> queued;
        if (!forwarding_ && drain(std::chrono::nanoseconds::min(), queued) == Status::ok) {
            const auto witnessed = framesHeldBy(witness_.get().fd);
            for (const input_event& event : queued) {
                if (state_ != State::grabbed || (witnessed && stampOf(event) >= witnessed->first))
                    break;
                take(event);
            }
        }
        std::vector<input_event> frame;
        for (unsigned code = 0; code < KEY_CNT; ++code) {
            if (clonePressed_[code]) frame.push_back(makeInputEvent(EV_KEY, code, 0));
        }
        if (!frame.empty()) {
            frame.push_back(makeInputEvent(EV_SYN, SYN_REPORT, 0));
            writeToClone(frame);
        }
    }
    state_ = State::idle;
    frame_.clear();
}

void GrabbedMouse::letGo() {
    lettingGo_ = true;
    if (state_ != State::grabbed || clonePressed_.none()) release();
}

// Reads everything queued, keeping libevdev's view of the keys current: drops what the kernel
// stamped before `since`, and keeps the rest in `after`. After an overflow what was lost is
// unknown, so nothing before it is kept.
GrabbedMouse::Status GrabbedMouse::drain(std::chrono::nanoseconds since,
                                         std::vector<input_event>& after) {
    unsigned flags = LIBEVDEV_READ_FLAG_NORMAL;
    for (;;) {
        input_event event;
        const int rc = libevdev_next_event(device_.get(), flags, &event);
        if (rc == LIBEVDEV_READ_STATUS_SYNC) {
            flags = LIBEVDEV_READ_FLAG_SYNC;
            after.clear();
        } else if (rc == -EAGAIN) {
            if (flags == LIBEVDEV_READ_FLAG_NORMAL) return Status::ok;
            flags = LIBEVDEV_READ_FLAG_NORMAL;
        } else if (rc != LIBEVDEV_READ_STATUS_SUCCESS) {
            if (rc != -ENODEV) logInputProblem(describeError("cannot read", devnode_, -rc));
            return Status::gone;
        } else if (flags == LIBEVDEV_READ_FLAG_NORMAL && stampOf(event) >= since) {
            after.push_back(event);
        }
    }
}

GrabbedMouse::Status GrabbedMouse::drain() {
    std::vector<input_event> none;
    return drain(std::chrono::nanoseconds::max(), none);
}

GrabbedMouse::Status GrabbedMouse::onReadable() {
    switch (state_) {
        case State::awaitingRelease: return grab();
        case State::grabbed: return readFrames();
        case State::idle: break;
    }
    return Status::ok;
}

GrabbedMouse::Status GrabbedMouse::readFrames() {
    // Stops when the wheel filter's callback disabled the tap.
    while (state_ == State::grabbed) {
        input_event event;
        const int rc = libevdev_next_event(device_.get(), LIBEVDEV_READ_FLAG_NORMAL, &event);
        if (rc == -EAGAIN) {
            emptiedAt_ = std::chrono::steady_clock::now();
            return Status::ok;
        }
        if (rc == LIBEVDEV_READ_STATUS_SYNC) {
            const auto unread = std::chrono::duration_cast<std::chrono::milliseconds>(
                std::chrono::steady_clock::now() - emptiedAt_);
            logRateLimited(droppedLog_,
                           "events of " + devnode_ + " (" + printableName(name_) +
                               ") were lost: the kernel's buffer overflowed (SYN_DROPPED), " +
                               std::to_string(unread.count()) +
                               " ms after it was last read empty; resynchronising",
                           "further lost events of " + devnode_ + " held back for 30 s");
            resynchronise();
            continue;
        }
        if (rc != LIBEVDEV_READ_STATUS_SUCCESS) {
            if (rc != -ENODEV) logInputProblem(describeError("cannot read", devnode_, -rc));
            return Status::gone;
        }
        take(event);
    }
    return Status::ok;
}

// A frame is never cut: the input core ends one itself, with a SYN_REPORT of its own, once a
// device has written as many events as its capabilities allow in one report (a few dozen for a
// mouse), so every frame reaches the wheel handling whole.
void GrabbedMouse::take(const input_event& event) {
    frame_.push_back(event);
    if (event.type == EV_SYN && event.code == SYN_REPORT) forwardFrame();
}

// The frame in progress is incomplete: it is dropped. libevdev then brings its view of the
// mouse up to the device's state, and the clone's keys and buttons are set to match it, so
// none stays pressed that the mouse let go. Motion lost in the overflow stays lost.
void GrabbedMouse::resynchronise() {
    frame_.clear();
    for (;;) {
        input_event event;
        const int rc = libevdev_next_event(device_.get(), LIBEVDEV_READ_FLAG_SYNC, &event);
        if (rc != LIBEVDEV_READ_STATUS_SYNC) break;  // -EAGAIN: in sync again
    }
    std::vector<input_event> frame;
    for (unsigned code = 0; code < KEY_CNT; ++code) {
        const bool pressed = libevdev_get_event_value(device_.get(), EV_KEY, code) != 0;
        if (pressed != clonePressed_[code]) frame.push_back(makeInputEvent(EV_KEY, code, pressed));
    }
    if (frame.empty()) return;
    frame.push_back(makeInputEvent(EV_SYN, SYN_REPORT, 0));
    writeToClone(frame);
}

// Everything but the wheel passes at once; the wheel filter says what of the wheel does.
void GrabbedMouse::forwardFrame() {
    const std::vector<input_event> frame = std::exchange(frame_, {});
    if (!fineWheelSeen_ && movesWheelFinely(frame)) {
        fineWheelSeen_ = fineWheelUnreported_ = true;
        lettingGo_ = lettingGo_ || leavesFineWheelAlone_;
    }
    if (lettingGo_) {
        writeToClone(frame);
        letGo();  // once released, readFrames() ends: what follows is the desktop's
        return;
    }
    const WheelMotion released = detents_.add(wheelMotion(frame, resolution_));
    forwarding_ = true;
    const std::optional<WheelMotion> passed = wheelFilter_(released, frameTime(frame));
    forwarding_ = false;
    std::vector<input_event> out = cloneFrame(frame, resolution_, passed);
    if (state_ != State::grabbed) {
        // The callback disabled the tap, which released the clone's buttons: a press written
        // now would never come up.
        std::erase_if(out, [](const input_event& event) { return event.type == EV_KEY; });
    }
    if (const FrameWheel written = frameWheel(out);
        written.vertical.units != 0 || written.horizontal.units != 0)
        wheelWritten_(written);
    writeToClone(out);
}

bool GrabbedMouse::writeToClone(std::span<const input_event> frame) {
    for (const input_event& event : frame) {
        if (event.type == EV_KEY && event.code < KEY_CNT) {
            clonePressed_[event.code] = event.value != 0;
        }
    }
    return clone_->writeFrame(frame);
}

}  // namespace glidewheel::platform::linuxdesktop
