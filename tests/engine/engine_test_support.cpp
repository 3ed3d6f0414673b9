#include "tests/engine/engine_test_support.h"

namespace glidewheel::testing {

using namespace glidewheel::platform;

namespace {

EventTapProxy lastProxy;

Event* rememberProxy(EventTapProxy proxy, EventType, Event* event, void*) {
    lastProxy = proxy;
    return event;
}

}  // namespace

LiveProxy::LiveProxy(sim::SimEventStream& stream)
    : tap_(stream.createTap(kCGSessionEventTap, kCGTailAppendEventTap, kCGEventTapOptionListenOnly,
                            CGEventMaskBit(kCGEventScrollWheel), &rememberProxy, nullptr)),
      source_(stream.createRunLoopSource(*tap_)) {
    source_->addToMainRunLoop();
    lastProxy = EventTapProxy{};
    stream.deliver(Event(kCGEventScrollWheel));
    proxy_ = lastProxy;
    stream.clearDelivered();
}

void HookedDisplayLink::setOutputCallback(DisplayLinkOutputCallback callback, void* userContext) {
    callback_ = callback;
    userContext_ = userContext;
}

void HookedDisplayLink::stop() {
    if (onStop) onStop();
    running_ = false;
}

bool HookedDisplayLink::tick() {
    if (!running_ || callback_ == nullptr) return false;
    const DisplayTimeStamp stamp{0, ++frames_};
    std::uint64_t flagsOut = 0;
    callback_(this, &stamp, &stamp, 0, &flagsOut, userContext_);
    return true;
}

std::unique_ptr<DisplayLink> HookedDisplayLinkService::createWithActiveDisplays() {
    auto made = std::make_unique<HookedDisplayLink>();
    link = made.get();
    return made;
}

Event wheelEvent(double pointDelta, std::int64_t lines) {
    Event event(kCGEventScrollWheel);
    event.setIntegerValue(kCGScrollWheelEventDeltaAxis1, lines);
    event.setDoubleValue(kCGScrollWheelEventPointDeltaAxis1, pointDelta);
    return event;
}

std::vector<double> postedAmounts(const sim::SimEventStream& stream, bool horizontal) {
    std::vector<double> amounts;
    for (const auto& [proxy, event] : stream.posted()) {
        amounts.push_back(event.doubleValue(horizontal ? kCGScrollWheelEventPointDeltaAxis2
                                                       : kCGScrollWheelEventPointDeltaAxis1));
    }
    return amounts;
}

}  // namespace glidewheel::testing
