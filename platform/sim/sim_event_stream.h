// SPDX-License-Identifier: MIT

#pragma once

#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/event_tap.h"

namespace glidewheel::platform::sim {

// A scripted event stream with taps, standing in for the window server.
//
// The thread that calls deliver() and pump() plays the main thread: tap callbacks run on it.
// Events posted through a proxy (from any thread) wait in a queue until pump() sends them down
// the stream, through every tap again, as on the real system. Whatever passes every tap reaches
// applications and is recorded.
class SimEventStream final : public EventTapService {
public:
    struct TapInfo {
        EventTapLocation location;
        EventTapPlacement placement;
        EventTapOptions options;
        EventMask eventsOfInterest;
        void* userInfo;
        bool enabled;
        bool onRunLoop;
    };

    // What reached applications.
    struct Delivery {
        Event event;
        bool posted;  // came through a proxy rather than from a device
    };

    SimEventStream() = default;
    SimEventStream(const SimEventStream&) = delete;
    SimEventStream& operator=(const SimEventStream&) = delete;

    // --- EventTapService ---
    std::unique_ptr<EventTap> createTap(EventTapLocation location, EventTapPlacement placement,
                                        EventTapOptions options, EventMask eventsOfInterest,
                                        EventTapCallback callback, void* userInfo) override;
    std::unique_ptr<RunLoopSource> createRunLoopSource(EventTap& tap) override;
    void postEvent(EventTapProxy proxy, const Event& event) override;

    // --- script ---
    // Sends a device event down the stream. Returns the event applications received, or nothing
    // when a tap swallowed it.
    std::optional<Event> deliver(const Event& event);
    // Sends every queued posted event down the stream, oldest first. Returns how many.
    std::size_t pump();
    // The system switches every tap off and tells each callback, as it does after a slow
    // callback (kCGEventTapDisabledByTimeout) or on user input. Returns what the last callback
    // returned for the notification, or nothing if no tap had a callback or one returned null.
    std::optional<Event> notifyTapsDisabled(EventType reason);

    // The proxy the stream hands the callbacks of `tap`, as a test would learn it from one.
    static EventTapProxy proxyOf(const EventTap& tap);

    void failNextTapCreation() { failNextTap_ = true; }
    void failNextRunLoopSource() { failNextSource_ = true; }

    // --- inspection ---
    std::vector<TapInfo> taps() const;
    const std::vector<Delivery>& delivered() const { return delivered_; }
    void clearDelivered() { delivered_.clear(); }
    // Every event posted through a live proxy, in order, with the proxy it went through.
    std::vector<std::pair<EventTapProxy, Event>> posted() const;
    void clearPosted();
    std::size_t droppedPosts() const;
    std::size_t pendingPosts() const;

private:
    class Tap;
    class Source;
    friend class Tap;
    friend class Source;

    std::optional<Event> run(Event event, bool posted);
    void removeTap(Tap* tap);

    std::vector<Tap*> taps_;  // in stream order; main thread only
    std::uint64_t nextTapId_ = 1;
    std::vector<Delivery> delivered_;
    bool failNextTap_ = false;
    bool failNextSource_ = false;

    mutable std::mutex postMutex_;  // guards what posting touches from other threads
    std::vector<std::uint64_t> liveTapIds_;
    std::deque<Event> pending_;
    std::vector<std::pair<EventTapProxy, Event>> postedLog_;
    std::size_t dropped_ = 0;
};

}  // namespace glidewheel::platform::sim
