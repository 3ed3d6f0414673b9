// SPDX-License-Identifier: MIT

#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/input/devices/handles.h"
#include "platform/linux/input/evdev_event_tap.h"

namespace glidewheel::devicetest {

// One evdev event as the kernel reports it, without its time stamp.
struct InputEvent {
    std::uint16_t type = 0, code = 0;
    std::int32_t value = 0;
    friend bool operator==(const InputEvent&, const InputEvent&) = default;
};
void PrintTo(const InputEvent& event, std::ostream* out);

// The events of one frame, without the SYN_REPORT that ends it.
using Frame = std::vector<InputEvent>;

// The event node of the device with this name, passing over `except` (a clone carries the name
// of its original).
std::optional<std::string> findEventNode(const std::string& name, const std::string& except = {});

// Calls `pump` until `done` holds or the timeout has passed; returns done(). Device events cross
// the kernel and, in the test VM, an emulated CPU: the timeout is generous.
bool waitUntil(const std::function<bool()>& done, const std::function<void()>& pump);
// A pump for waitUntil when the work happens on other threads: a short sleep.
void pause();

// Whether another descriptor holds the device's grab (ours then fails with EBUSY).
bool isGrabbedElsewhere(const std::string& eventNode);

// A wheel mouse made through uinput: motion, two buttons, and both wheels in both resolutions.
// One with keys also has a few keyboard keys (as gaming mice do), which the kernel repeats
// while held: after kRepeatDelay, then every kRepeatPeriod.
class TestMouse {
public:
    static constexpr std::chrono::milliseconds kRepeatDelay{250}, kRepeatPeriod{33};

    explicit TestMouse(const std::string& name, bool withKeys = false);
    const std::string& name() const { return name_; }
    std::string eventNode() const {
        const char* node = libevdev_uinput_get_devnode(device_.get());
        return node ? node : "";
    }
    void send(Frame frame);  // the frame's events, then SYN_REPORT

private:
    std::string name_;
    platform::linuxdesktop::LibevdevPtr description_;
    platform::linuxdesktop::UinputPtr device_;
};

// Reads an event node frame by frame, without grabbing it.
class EventReader {
public:
    explicit EventReader(const std::string& eventNode);
    std::vector<Frame> readFrames();  // the complete frames ready now, without blocking

private:
    platform::linuxdesktop::UniqueFd fd_;
    Frame partial_;
};

// Device tests need to make uinput devices: they run in the test VM, or on a host that gives
// this user /dev/uinput, and skip elsewhere.
struct DeviceTest : ::testing::Test {
    void SetUp() override;
};

// The real tap on a poll() loop, created as the interceptor creates it, with its source on the
// loop and one test mouse, plugged in before it started, grabbed. Its callback records what it
// is given and swallows or passes it as told.
class EvdevTapTest : public DeviceTest {
protected:
    using TakenDevice = platform::linuxdesktop::EvdevEventTapService::TakenDevice;

    void SetUp() override;
    std::optional<TakenDevice> taken(const TestMouse& mouse) const {
        for (const TakenDevice& device : service.takenDevices())
            if (device.devnode == mouse.eventNode()) return device;
        return std::nullopt;
    }
    bool isTakenAndGrabbed(const TestMouse& m) const {
        auto d = taken(m);
        return d && d->grabbed;
    }
    // The tap works on its own thread: this one only looks again, in short turns.
    bool runUntil(const std::function<bool()>& done) { return waitUntil(done, pause); }
    // Waits until `count` frames have come out of `reader`; returns all that came.
    std::vector<Frame> receiveFrames(EventReader& reader, std::size_t count) {
        std::vector<Frame> frames;
        runUntil([&] {
            for (Frame& frame : reader.readFrames()) frames.push_back(std::move(frame));
            return frames.size() >= count;
        });
        return frames;
    }

    platform::linuxdesktop::EvdevEventTapService service;
    std::unique_ptr<TestMouse> mouse;
    // What the callback was given so far; it runs on the tap's input thread.
    std::vector<std::pair<platform::EventTapProxy, platform::Event>> seen() const {
        std::scoped_lock guard(seenMutex_);
        return seen_;
    }
    std::atomic<bool> swallow = true;
    std::unique_ptr<platform::EventTap> tap;
    std::unique_ptr<platform::RunLoopSource> source;

private:
    mutable std::mutex seenMutex_;
    std::vector<std::pair<platform::EventTapProxy, platform::Event>> seen_;
};

}  // namespace glidewheel::devicetest
