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
inline constexpr EventTapOptions kCGEventTapOptionDefault = 0;     // active: may change and swallow
inline constexpr EventTapOptions kCGEventTapOptionListenOnly = 1;

// Names the place in the event stream where a tap delivered an event, so that events posted
// through it enter the stream there. A plain value: it owns nothing, and posting through the
// proxy of a tap that no longer exists drops the event.
struct EventTapProxy {
    std::uint64_t id = 0;

    explicit operator bool() const { return id != 0; }
    friend bool operator==(EventTapProxy, EventTapProxy) = default;
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
};

}  // namespace glidewheel::platform
