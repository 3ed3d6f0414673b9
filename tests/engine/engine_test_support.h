// SPDX-License-Identifier: MIT

#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/event.h"
#include "platform/event_tap.h"
#include "platform/sim/sim_event_stream.h"

namespace glidewheel::testing {

// A tap on the stream, so that posts through its proxy are accepted.
struct LiveProxy {
    explicit LiveProxy(platform::sim::SimEventStream& stream)
        : tap(stream.createTap(platform::kCGSessionEventTap, platform::kCGTailAppendEventTap,
                               platform::kCGEventTapOptionListenOnly, 0, nullptr, nullptr)) {}
    platform::EventTapProxy proxy() const { return platform::sim::SimEventStream::proxyOf(*tap); }

    std::unique_ptr<platform::EventTap> tap;
};

// The sim stream as the engine's backend, keeping each glide as the engine reports it and the
// points posted for it, in the order it hears them. Frames may post from a link's thread.
class AccountingTaps final : public platform::EventTapService {
public:
    // An ended glide: its aims (the first, then each extension), the points posted since the
    // previous glide ended, and its end.
    struct Glide {
        std::vector<platform::GlideAccount> aims;
        double posted = 0.0;
        platform::GlideAccount end;
    };

    explicit AccountingTaps(platform::sim::SimEventStream& stream) : stream_(stream) {}
    std::unique_ptr<platform::EventTap> createTap(platform::EventTapLocation location,
                                                  platform::EventTapPlacement placement,
                                                  platform::EventTapOptions options,
                                                  platform::EventMask mask,
                                                  platform::EventTapCallback callback,
                                                  void* userInfo) override {
        return stream_.createTap(location, placement, options, mask, callback, userInfo);
    }
    std::unique_ptr<platform::RunLoopSource> createRunLoopSource(platform::EventTap& tap) override {
        return stream_.createRunLoopSource(tap);
    }
    void postEvent(platform::EventTapProxy proxy, const platform::Event& event) override {
        if (auto hook = std::exchange(duringFirstPost, nullptr)) hook();
        {
            std::scoped_lock lock(mutex_);
            open_.posted += event.doubleValue(platform::kCGScrollWheelEventPointDeltaAxis1) +
                            event.doubleValue(platform::kCGScrollWheelEventPointDeltaAxis2);
        }
        stream_.postEvent(proxy, event);
    }
    void glideAimed(const platform::GlideAccount& glide) override {
        std::scoped_lock lock(mutex_);
        open_.aims.push_back(glide);
    }
    void glideEnded(const platform::GlideAccount& glide) override {
        std::scoped_lock lock(mutex_);
        open_.end = glide;
        ended_.push_back(std::exchange(open_, {}));
    }
    std::vector<Glide> ended() const {
        std::scoped_lock lock(mutex_);
        return ended_;
    }

    std::function<void()> duringFirstPost;  // runs on the posting thread, before it is counted

private:
    platform::sim::SimEventStream& stream_;
    mutable std::mutex mutex_;
    Glide open_;
    std::vector<Glide> ended_;
};

// A vertical wheel notch as the backend reports one: a line delta and a point delta.
inline platform::Event wheelEvent(double pointDelta, std::int64_t lines = 1) {
    platform::Event event(platform::kCGEventScrollWheel);
    event.setIntegerValue(platform::kCGScrollWheelEventDeltaAxis1, lines);
    event.setDoubleValue(platform::kCGScrollWheelEventPointDeltaAxis1, pointDelta);
    return event;
}

// The amounts of the posted events, read from their first axis.
inline std::vector<double> postedAmounts(const platform::sim::SimEventStream& stream) {
    std::vector<double> amounts;
    for (const auto& [proxy, event] : stream.posted())
        amounts.push_back(event.doubleValue(platform::kCGScrollWheelEventPointDeltaAxis1));
    return amounts;
}

}  // namespace glidewheel::testing
