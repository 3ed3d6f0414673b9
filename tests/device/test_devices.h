// SPDX-License-Identifier: MIT

#pragma once

// The device tests' harness: test mice made through uinput, one reader of event nodes, the real
// tap with a recording callback, and the program's whole input path behind the shared
// interceptor.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/input/devices/handles.h"
#include "platform/linux/input/evdev_event_tap.h"
#include "tests/support/wait_until.h"

namespace glidewheel::devicetest {

using testing::pause;
using testing::waitUntil;
using Clock = std::chrono::steady_clock;  // CLOCK_MONOTONIC: the clock of every stamp read here

// One evdev event as the kernel reports it, without its time stamp.
struct InputEvent {
    std::uint16_t type = 0, code = 0;
    std::int32_t value = 0;
    friend bool operator==(const InputEvent&, const InputEvent&) = default;
};
void PrintTo(const InputEvent& event, std::ostream* out);

// The events of one frame, without the SYN_REPORT that ends it.
using Frame = std::vector<InputEvent>;

// A notch of a high-resolution wheel either way, as a mouse sends it.
inline const Frame kNotchDown = {{EV_REL, REL_WHEEL, -1}, {EV_REL, REL_WHEEL_HI_RES, -120}};
inline const Frame kNotchUp = {{EV_REL, REL_WHEEL, 1}, {EV_REL, REL_WHEEL_HI_RES, 120}};
inline const Frame kNotchRight = {{EV_REL, REL_HWHEEL, 1}, {EV_REL, REL_HWHEEL_HI_RES, 120}};
// Motion always passes: once it comes out, everything sent before it has been handled.
inline const Frame kFence = {{EV_REL, REL_Y, 1}};

// The event node of the device with this name.
std::optional<std::string> findEventNode(const std::string& name);

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

using TakenDevice = platform::linuxdesktop::EvdevEventTapService::TakenDevice;
// What the tap service holds of the mouse: its clone, whether it is grabbed, its proxy.
std::optional<TakenDevice> takenDevice(const platform::linuxdesktop::EvdevEventTapService& service,
                                       const TestMouse& mouse);

// A frame with the kernel's time stamp of its SYN_REPORT.
struct TimedFrame {
    Clock::time_point at;
    Frame events;
};

// Reads an event node frame by frame, without grabbing it, stamped on CLOCK_MONOTONIC.
class EventReader {
public:
    explicit EventReader(const std::string& eventNode);
    std::vector<TimedFrame> readFrames();  // the complete frames ready now, without blocking
    int fd() const { return fd_.get().fd; }

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
    void SetUp() override;
    std::optional<TakenDevice> taken(const TestMouse& mouse) const {
        return takenDevice(service, mouse);
    }
    bool isTakenAndGrabbed(const TestMouse& m) const { return taken(m) && taken(m)->grabbed; }
    // Waits until `count` frames have come out of `reader`; returns all that came.
    static std::vector<Frame> receiveFrames(EventReader& reader, std::size_t count);

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

// The program's input path: the real tap on its input thread behind the shared interceptor at
// the default settings (speed 1.0, smoothness 0.5), its glides paced by the program's display
// link (the vblanks of the VM's virtual display, or a 60 Hz timer). Each test starts and stops
// the interceptor; the mice it plugs in go with it.
class GlideTest : public DeviceTest {
protected:
    static constexpr auto kRefresh = std::chrono::microseconds(16667);  // at 60 Hz
    // How late the emulated CPU's timers may fire.
    static constexpr auto kEmulationSlack = std::chrono::milliseconds(10);

    void SetUp() override;
    void TearDown() override;
    // A new test mouse, once the tap has grabbed it and stood its clone in its place.
    TestMouse& plugIn(bool withKeys = false);
    // The clone of a grabbed mouse, or nothing.
    std::string cloneOf(const TestMouse& mouse) const;
    std::size_t takenCount() const;  // the mice the tap holds
    // When the engine last posted a glide's frame (settling is the backend's, not posted).
    static Clock::time_point lastEnginePost();

    std::deque<TestMouse> mice;
};

}  // namespace glidewheel::devicetest
