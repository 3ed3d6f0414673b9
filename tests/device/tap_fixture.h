#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/event_tap.h"
#include "platform/linux/input/evdev_event_tap.h"
#include "platform/linux/input/poll_main_loop.h"
#include "tests/device/test_devices.h"

namespace glidewheel::devicetest {

// A tap callback that records what it is given and swallows or passes it as told.
struct TapRecorder {
    struct Seen {
        platform::EventTapProxy proxy;
        platform::EventType type;
        platform::Event event;
    };

    static platform::Event* callback(platform::EventTapProxy proxy, platform::EventType type,
                                      platform::Event* event, void* userInfo);

    std::vector<Seen> seen;
    bool swallow = true;
};

// The real tap, running on a poll() main loop, created as the interceptor creates it, with its
// source on the loop and one test mouse, plugged in before it started, grabbed.
class EvdevTapTest : public DeviceTest {
protected:
    using TakenDevice = platform::linuxdesktop::EvdevEventTapService::TakenDevice;

    void SetUp() override;

    // What the tap holds of this mouse, if anything.
    std::optional<TakenDevice> taken(const TestMouse& mouse) const;
    bool isTakenAndGrabbed(const TestMouse& mouse) const;
    // Runs the main loop until `done` holds, for at most ten seconds; returns done().
    bool runUntil(const std::function<bool()>& done);
    // Runs the main loop until `count` frames have come out of `reader` (or ten seconds have
    // passed) and returns all that came.
    std::vector<Frame> receiveFrames(EventReader& reader, std::size_t count);

    platform::linuxdesktop::PollMainLoop loop;
    std::unique_ptr<platform::linuxdesktop::EvdevEventTapService> service;
    std::unique_ptr<TestMouse> mouse;
    TapRecorder recorder;
    std::unique_ptr<platform::EventTap> tap;
    std::unique_ptr<platform::RunLoopSource> source;
};

}  // namespace glidewheel::devicetest
