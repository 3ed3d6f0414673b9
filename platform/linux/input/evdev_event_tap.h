#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/event_tap.h"
#include "platform/linux/input/device_classification.h"
#include "platform/linux/main_loop.h"

namespace glidewheel::platform::linuxdesktop {

class CloneSink;
class EvdevTapCore;

// The event tap on evdev: each tap grabs every wheel mouse (libevdev), and stands a uinput
// clone of it in its place, through which everything the mouse sends except its wheel passes
// unchanged. The wheel goes to the tap's callback on the main loop as scroll-wheel events, at
// most one per detent: the engine glides each event at least 9 points, so a high-resolution
// wheel's units are held back until a detent has built up (DetentAccumulator). What the
// callback lets pass reaches the clone as wheel codes for those units; what it swallows, or
// what is held back, does not. Mice plugged in while a tap exists are taken too (udev),
// unplugged ones are dropped.
//
// Units: a detent is 120 high-resolution wheel units and is reported as one line and one point
// of scroll. Posted points go back out at 12 units per point, so one detent's glide moves one
// detent. Events posted through the proxy of a tap's event leave through the clone of the
// mouse that sent it, from any thread; for a mouse or tap that is gone they are dropped.
//
// The tap never sees its own posted events (they come from the clone, which it never takes).
// Only the active option is meaningful: with kCGEventTapOptionListenOnly the callback sees the
// events but every frame passes. Modifier flags are always 0: the desktop applies shift to the
// scroll events it receives itself, as it does for the mouse's own wheel.
class EvdevEventTapService final : public EventTapService {
public:
    // A mouse that one of the taps holds, for diagnostics and device tests.
    struct TakenDevice {
        std::string devnode;       // the mouse's /dev/input/event* node
        std::string name;
        std::string cloneDevnode;  // its clone's node
        bool grabbed = false;      // false while the tap is disabled or waits for buttons
        EventTapProxy proxy;       // the proxy its wheel events come with
    };

    // The loop and the service outlive every tap made here.
    explicit EvdevEventTapService(MainLoop& mainLoop);
    ~EvdevEventTapService() override;
    EvdevEventTapService(const EvdevEventTapService&) = delete;
    EvdevEventTapService& operator=(const EvdevEventTapService&) = delete;

    // Null only when it cannot work at all: /dev/uinput is not writable, or udev is not
    // available. With no mouse present it gives a tap that takes mice as they are plugged in.
    // The tap is enabled: the mice are grabbed now (each once none of its buttons is held).
    std::unique_ptr<EventTap> createTap(EventTapLocation location, EventTapPlacement placement,
                                        EventTapOptions options, EventMask eventsOfInterest,
                                        EventTapCallback callback, void* userInfo) override;

    // The source's watches read the tap's mice on the main loop; without it on the loop, a
    // grabbed mouse's events wait in the kernel.
    std::unique_ptr<RunLoopSource> createRunLoopSource(EventTap& tap) override;

    void postEvent(EventTapProxy proxy, const Event& event) override;

    // Main thread only.
    std::vector<TakenDevice> takenDevices() const;

private:
    friend class EvdevTapCore;

    std::uint32_t registerTap(EvdevTapCore* tap);
    void unregisterTap(EvdevTapCore* tap);
    void registerClone(EventTapProxy proxy, CloneSink* clone);
    void unregisterClone(EventTapProxy proxy);

    MainLoop& mainLoop_;
    std::uint32_t nextTapId_ = 1;
    std::vector<EvdevTapCore*> taps_;  // main thread only

    // Posting may come from any thread: it finds the clone here and writes while holding the
    // lock, so the main thread never destroys a clone under a post.
    std::mutex clonesMutex_;
    std::map<std::uint64_t, CloneSink*> clones_;
};

}  // namespace glidewheel::platform::linuxdesktop
