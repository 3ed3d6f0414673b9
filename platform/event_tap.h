// SPDX-License-Identifier: MIT

#pragma once

#include <cstdint>
#include <memory>

#include "platform/event.h"

namespace glidewheel::platform {

using EventTapLocation = std::uint32_t;
inline constexpr EventTapLocation kCGHIDEventTap = 0;
inline constexpr EventTapLocation kCGSessionEventTap = 1;
inline constexpr EventTapLocation kCGAnnotatedSessionEventTap = 2;

using EventTapPlacement = std::uint32_t;
inline constexpr EventTapPlacement kCGHeadInsertEventTap = 0;
inline constexpr EventTapPlacement kCGTailAppendEventTap = 1;

using EventTapOptions = std::uint32_t;
inline constexpr EventTapOptions kCGEventTapOptionDefault = 0;  // active: may change and swallow
inline constexpr EventTapOptions kCGEventTapOptionListenOnly = 1;

// Names the place in the event stream where a tap delivered an event, so that events posted
// through it enter the stream there. A plain value: it owns nothing, and posting through the
// proxy of a tap that no longer exists drops the event.
struct EventTapProxy {
    std::uint64_t id = 0;

    explicit operator bool() const { return id != 0; }
    friend bool operator==(EventTapProxy, EventTapProxy) = default;
};

// The engine's stop rule, which a backend that foresees a glide's last post goes by: a frame
// posts once this much has gathered, and a step this small or less ends the glide (points).
inline constexpr double kGlidePostPoints = 1.0;
inline constexpr double kGlideStopStep = 0.1;

// A glide as the engine accounts for it to the backend that carries its posts.
struct GlideAccount {
    EventTapProxy proxy;          // its posts go through this proxy
    bool horizontal = false;      // along axis 2 (field 97) rather than axis 1 (field 96)
    double targetPoints = 0.0;    // the signed distance it aims at
    double unpostedPoints = 0.0;  // what of that it has not posted
    // Ended by a turn or a stop rather than by its own stop rule: what it has not posted was
    // never meant to go out.
    bool cutShort = false;
};

// Returns the event it was given to let it pass (possibly changed), or null to swallow it.
using EventTapCallback = Event* (*)(EventTapProxy proxy, EventType type, Event* event,
                                    void* userInfo);

// An installed tap. Destroying it removes the tap from the event stream.
class EventTap {
public:
    virtual ~EventTap() = default;
    virtual void setEnabled(bool enabled) = 0;
    virtual bool isEnabled() const = 0;
};

// Connects a tap to the loop its callback runs on: the main loop, or on Linux the input thread's
// loop, which carries the whole mouse and so must never wait for the GUI. Destroying it takes
// the tap off that loop if it is still there.
class RunLoopSource {
public:
    virtual ~RunLoopSource() = default;
    virtual void addToMainRunLoop() = 0;
    virtual void removeFromMainRunLoop() = 0;
};

class EventTapService {
public:
    virtual ~EventTapService() = default;

    // Null when the tap cannot be made (no permission, no devices to watch, ...).
    virtual std::unique_ptr<EventTap> createTap(EventTapLocation location,
                                                EventTapPlacement placement,
                                                EventTapOptions options, EventMask eventsOfInterest,
                                                EventTapCallback callback, void* userInfo) = 0;

    // Null when no source can be made for the tap.
    virtual std::unique_ptr<RunLoopSource> createRunLoopSource(EventTap& tap) = 0;

    // Posts into the event stream at the tap that the proxy names. Callable from any thread.
    virtual void postEvent(EventTapProxy proxy, const Event& event) = 0;

    // How each glide goes, for a backend whose desktop counts scroll in whole detents and so
    // must settle what the engine's stop rule leaves unposted: glideAimed after every hand-off,
    // with the glide's new target; glideEnded once no further post of it will come (it ran out,
    // was stopped, or a turn replaced it). Called from the threads that post, in order with
    // their posts. Backends that need neither keep these defaults.
    virtual void glideAimed(const GlideAccount&) {}
    virtual void glideEnded(const GlideAccount&) {}
};

}  // namespace glidewheel::platform
