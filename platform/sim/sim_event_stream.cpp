// SPDX-License-Identifier: MIT

#include "platform/sim/sim_event_stream.h"

#include <algorithm>
#include <utility>

namespace glidewheel::platform::sim {

class SimEventStream::Tap final : public EventTap {
public:
    Tap(SimEventStream& stream, std::uint64_t id, TapInfo info, EventTapCallback callback)
        : stream(stream), id(id), info(info), callback(callback) {}
    ~Tap() override { stream.removeTap(this); }

    void setEnabled(bool enabled) override { info.enabled = enabled; }
    bool isEnabled() const override { return info.enabled; }

    SimEventStream& stream;
    const std::uint64_t id;
    TapInfo info;
    const EventTapCallback callback;
};

class SimEventStream::Source final : public RunLoopSource {
public:
    Source(SimEventStream& stream, std::uint64_t tapId) : stream_(stream), tapId_(tapId) {}
    ~Source() override { removeFromMainRunLoop(); }

    void addToMainRunLoop() override { setOnRunLoop(true); }
    void removeFromMainRunLoop() override { setOnRunLoop(false); }

private:
    void setOnRunLoop(bool on) {
        for (Tap* tap : stream_.taps_) {
            if (tap->id == tapId_) tap->info.onRunLoop = on;
        }
    }

    SimEventStream& stream_;
    const std::uint64_t tapId_;
};

std::unique_ptr<EventTap> SimEventStream::createTap(EventTapLocation location,
                                                    EventTapPlacement placement,
                                                    EventTapOptions options,
                                                    EventMask eventsOfInterest,
                                                    EventTapCallback callback, void* userInfo) {
    if (std::exchange(failNextTap_, false)) return nullptr;
    const std::uint64_t id = nextTapId_++;
    TapInfo info{location, placement, options, eventsOfInterest, userInfo, true, false};
    auto tap = std::make_unique<Tap>(*this, id, info, callback);
    if (placement == kCGHeadInsertEventTap) {
        taps_.insert(taps_.begin(), tap.get());
    } else {
        taps_.push_back(tap.get());
    }
    std::scoped_lock lock(postMutex_);
    liveTapIds_.push_back(id);
    return tap;
}

EventTapProxy SimEventStream::proxyOf(const EventTap& tap) {
    return EventTapProxy{static_cast<const Tap&>(tap).id};
}

std::unique_ptr<RunLoopSource> SimEventStream::createRunLoopSource(EventTap& tap) {
    if (std::exchange(failNextSource_, false)) return nullptr;
    return std::make_unique<Source>(*this, static_cast<Tap&>(tap).id);
}

void SimEventStream::removeTap(Tap* tap) {
    std::erase(taps_, tap);
    std::scoped_lock lock(postMutex_);
    std::erase(liveTapIds_, tap->id);
}

void SimEventStream::postEvent(EventTapProxy proxy, const Event& event) {
    std::scoped_lock lock(postMutex_);
    if (std::find(liveTapIds_.begin(), liveTapIds_.end(), proxy.id) == liveTapIds_.end()) {
        ++dropped_;
        return;
    }
    pending_.push_back(event);
    postedLog_.emplace_back(proxy, event);
}

std::optional<Event> SimEventStream::run(Event event, bool posted) {
    // Callbacks may create or remove taps; walk a snapshot of ids and skip the ones gone since.
    std::vector<std::uint64_t> ids;
    for (const Tap* tap : taps_) ids.push_back(tap->id);
    for (const std::uint64_t id : ids) {
        auto it = std::find_if(taps_.begin(), taps_.end(), [id](Tap* t) { return t->id == id; });
        if (it == taps_.end()) continue;
        Tap& tap = **it;
        if (!tap.info.enabled || !tap.info.onRunLoop) continue;
        if (event.type() >= 64 || (tap.info.eventsOfInterest & CGEventMaskBit(event.type())) == 0) {
            continue;
        }
        Event* result =
            tap.callback(EventTapProxy{tap.id}, event.type(), &event, tap.info.userInfo);
        if (result == nullptr) return std::nullopt;
        if (result != &event) event = *result;
    }
    delivered_.push_back(Delivery{event, posted});
    return event;
}

std::optional<Event> SimEventStream::deliver(const Event& event) { return run(event, false); }

std::size_t SimEventStream::pump() {
    std::size_t count = 0;
    for (;;) {
        std::optional<Event> next;
        {
            std::scoped_lock lock(postMutex_);
            if (pending_.empty()) break;
            next = pending_.front();
            pending_.pop_front();
        }
        run(*next, true);
        ++count;
    }
    return count;
}

std::optional<Event> SimEventStream::notifyTapsDisabled(EventType reason) {
    std::optional<Event> last;
    std::vector<std::uint64_t> ids;
    for (const Tap* tap : taps_) ids.push_back(tap->id);
    for (const std::uint64_t id : ids) {
        auto it = std::find_if(taps_.begin(), taps_.end(), [id](Tap* t) { return t->id == id; });
        if (it == taps_.end()) continue;
        Tap* tap = *it;
        tap->info.enabled = false;
        Event notification(reason);
        Event* result =
            tap->callback(EventTapProxy{tap->id}, reason, &notification, tap->info.userInfo);
        last = result ? std::optional<Event>(*result) : std::nullopt;
    }
    return last;
}

std::vector<SimEventStream::TapInfo> SimEventStream::taps() const {
    std::vector<TapInfo> infos;
    for (const Tap* tap : taps_) infos.push_back(tap->info);
    return infos;
}

std::vector<std::pair<EventTapProxy, Event>> SimEventStream::posted() const {
    std::scoped_lock lock(postMutex_);
    return postedLog_;
}

void SimEventStream::clearPosted() {
    std::scoped_lock lock(postMutex_);
    postedLog_.clear();
    pending_.clear();
    dropped_ = 0;
}

std::size_t SimEventStream::droppedPosts() const {
    std::scoped_lock lock(postMutex_);
    return dropped_;
}

std::size_t SimEventStream::pendingPosts() const {
    std::scoped_lock lock(postMutex_);
    return pending_.size();
}

}  // namespace glidewheel::platform::sim
