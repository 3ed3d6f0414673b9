// SPDX-License-Identifier: MIT

#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/event_tap.h"
#include "platform/known_wheel_mouse.h"
#include "platform/linux/base/display_refreshes.h"
#include "platform/linux/input/input_loop.h"
#include "platform/linux/input/session_activity.h"
#include "platform/linux/input/wheel/clone_writer.h"

namespace glidewheel::platform::linuxdesktop {

class WheelMouseTap;

// The event tap on evdev: each tap grabs every wheel mouse (libevdev), and stands a uinput
// clone of it in its place, through which everything the mouse sends except its wheel passes
// unchanged. The wheel goes to the tap's callback as scroll-wheel events, at most one per
// detent: the engine glides each event at least 9 points, so a high-resolution wheel's units
// are held back until a detent has built up (DetentAccumulator). What the callback lets pass
// reaches the clone as wheel codes for those units; what it swallows, or what is held back,
// does not. Mice plugged in while a tap exists are taken too (udev), unplugged ones are dropped.
//
// All of this runs on the service's input thread (InputLoop), never on the GUI thread: the
// program carries the whole mouse, and a kernel buffer of 128 events overflows after about
// 42 ms of a 1000 Hz mouse. The tap's run-loop source puts it on that loop, so its callback
// runs there. Creating, enabling, disabling and removing a tap, and adding or removing its
// source, are handed to the input thread and wait for it: once disabling or removing returns,
// no callback runs and no mouse of the tap is grabbed.
//
// Units: a detent is 120 high-resolution wheel units and is reported as one line and one point
// of scroll. Posted points go back out at 12 units per point, and what a glide leaves unposted
// is settled on the display's refreshes, so one detent's glide moves one detent
// (WheelAccounting); the display link publishes its frames to displayRefreshes(). Events posted
// through the proxy of a tap's event leave through the clone of the mouse that sent it, from any
// thread; for a mouse or tap that is gone they are dropped.
//
// Which mice are taken follows the person's choices (setWheelMice): a mouse switched off is
// never opened, or is let go with its clone, and its wheel reaches the desktop as it is. A mouse
// whose wheel moves finely already (movesWheelFinely) is let go the moment that is seen, unless
// it was switched on. The mice present are reported to a listener on the input thread. While
// another login session is in front of the seat, every mouse is let go the same way, and taken
// again once this one is back (SessionActivity).
//
// The tap never sees its own posted events (they come from the clone, which it never takes).
// Only the active option is meaningful: with kCGEventTapOptionListenOnly the callback sees the
// events but every frame passes. Modifier flags are always 0: the desktop applies shift to the
// scroll events it receives itself, as it does for the mouse's own wheel.
class EvdevEventTapService final : public EventTapService {
public:
    // A mouse that one of the taps holds, for diagnostics and device tests.
    struct TakenDevice {
        std::string devnode;  // the mouse's /dev/input/event* node
        std::string name;
        std::string cloneDevnode;  // its clone's node
        bool grabbed = false;      // false while the tap is disabled or waits for buttons
        EventTapProxy proxy;       // the proxy its wheel events come with
    };

    // Starts the input thread, raised above ordinary programs where the system lets it
    // (raiseThreadPriority). The service outlives every tap made here. With `leaveMiceAlone`
    // its taps take no mouse, so every wheel reaches the desktop as the mouse sends it: for a
    // desktop that would show applications a glide later than the plain wheel
    // (WheelReception).
    explicit EvdevEventTapService(bool leaveMiceAlone = false);
    ~EvdevEventTapService() override;
    EvdevEventTapService(const EvdevEventTapService&) = delete;
    EvdevEventTapService& operator=(const EvdevEventTapService&) = delete;

    // Null only when it cannot work at all: /dev/uinput is not writable, or udev is not
    // available. With no mouse present it gives a tap that takes mice as they are plugged in.
    // The tap is enabled: the mice are grabbed now (each once none of its buttons is held).
    std::unique_ptr<EventTap> createTap(EventTapLocation location, EventTapPlacement placement,
                                        EventTapOptions options, EventMask eventsOfInterest,
                                        EventTapCallback callback, void* userInfo) override;

    // The source puts the tap's mice on the input loop; without it there, a grabbed mouse's
    // events wait in the kernel.
    std::unique_ptr<RunLoopSource> createRunLoopSource(EventTap& tap) override;

    void postEvent(EventTapProxy proxy, const Event& event) override;
    void glideAimed(const GlideAccount& glide) override { clones_.aim(glide); }
    void glideEnded(const GlideAccount& glide) override { clones_.end(glide); }

    bool leavesMiceAlone() const { return leaveMiceAlone_; }
    // Asks the input thread; not from a tap's callback while another thread waits for it.
    std::vector<TakenDevice> takenDevices() const;

    // Hands the mice known to the settings, with their switches, to the input thread, and
    // returns once each mouse present is taken or let go to match. Mice not among them are
    // taken unless their wheel moves finely.
    void setWheelMice(std::vector<KnownWheelMouse> mice);
    // Hears the wheel mice present, with what was seen of their wheels, whenever that changes.
    // Called on the input thread, which it must not hold up: hand the list on and return.
    using WheelMiceListener = std::function<void(std::vector<KnownWheelMouse> present)>;
    void setWheelMiceListener(WheelMiceListener listener);

    // The thread the mice are read on, for work that belongs with them.
    InputLoop& inputLoop() { return loop_; }
    // Where the display link publishes its frames, so that settling lands on them.
    DisplayRefreshes& displayRefreshes() { return refreshes_; }

private:
    friend class WheelMouseTap;

    // Input thread only, as the members they read.
    KnownWheelMouse asKnown(const KnownWheelMouse& seen) const;
    bool takes(const KnownWheelMouse& known) const { return sessionActive_ && known.smoothed(); }
    void followSession();
    void noteFineWheel(const KnownWheelMouse& seen);
    void reportWheelMice() const;

    const bool leaveMiceAlone_;
    DisplayRefreshes refreshes_;
    CloneWriter clones_{loop_, refreshes_};     // its settling runs on the loop, which ends first
    std::vector<WheelMouseTap*> taps_;          // input thread only
    std::uint32_t nextTapId_ = 1;               // input thread only
    std::vector<KnownWheelMouse> wheelMice_;    // input thread only
    std::set<std::string> fineWheels_;          // ids of mice seen moving finely; input thread only
    WheelMiceListener wheelMiceListener_;       // input thread only
    std::unique_ptr<SessionActivity> session_;  // input thread only
    std::unique_ptr<InputLoop::Watch> sessionWatch_;  // input thread only
    bool sessionActive_ = true;                       // input thread only
    // Its thread ends before the rest above goes.
    mutable InputLoop loop_;
    // Opening a mouse and making its clone, and destroying them, keep the kernel 10 to 100 ms
    // under emulation (a 1000 Hz mouse's kernel buffer lasts 42 ms), so they run here, away from
    // the input thread. Ends first: its tasks hand their results to the input thread.
    InputLoop slowDeviceCalls_;
    std::jthread priorityRequest_;  // asks for the input thread's priority once, at the start
};

}  // namespace glidewheel::platform::linuxdesktop
