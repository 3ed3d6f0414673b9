// SPDX-License-Identifier: MIT

#include "engine/scroll_interceptor.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace glidewheel {

using namespace glidewheel::platform;

double clampedDelta(double delta) {
    double c = delta <= -kClampLimit ? -kClampLimit : delta;
    if (c > kClampLimit) c = kClampLimit;
    return c;
}

double glideDistance(double clamped, double scrollSpeed) {
    return scrollSpeed * (clamped + std::copysign(kAddedMagnitude, clamped));
}

double interpolationFactor(double smoothness) {
    return std::pow(kFactorBase, std::clamp(smoothness, 0.0, 1.0)) * kFactorScale;
}

namespace {

std::int64_t negated(std::int64_t lines) {
    return lines == std::numeric_limits<std::int64_t>::min()
               ? std::numeric_limits<std::int64_t>::max()
               : -lines;
}

}  // namespace

ScrollInterceptor& ScrollInterceptor::shared() {
    static ScrollInterceptor instance(platform::services(), Preferences::shared());
    return instance;
}

ScrollInterceptor::ScrollInterceptor(const Services& services, Preferences& preferences)
    : eventTaps_(*services.eventTaps),
      trust_(*services.trust),
      preferences_(preferences),
      pointerApplication_(services.pointerApplication),
      smoothScroller_(*services.displayLinks, *services.eventTaps) {}

bool ScrollInterceptor::hasAccessibilityPermission() const { return trust_.isProcessTrusted(); }

void ScrollInterceptor::start() {
    if (isRunning_) return;
    if (!trust_.isProcessTrusted()) {
        trust_.promptForTrust();
        return;
    }
    auto tap = eventTaps_.createTap(kCGAnnotatedSessionEventTap, kCGTailAppendEventTap,
                                    kCGEventTapOptionDefault, CGEventMaskBit(kCGEventScrollWheel),
                                    &ScrollInterceptor::eventTapCallback, this);
    if (!tap) return;
    eventTap_ = std::move(tap);
    runLoopSource_ = eventTaps_.createRunLoopSource(*eventTap_);
    if (runLoopSource_) runLoopSource_->addToMainRunLoop();
    eventTap_->setEnabled(true);
    isRunning_ = true;
}

void ScrollInterceptor::stop() {
    if (!isRunning_) return;
    if (eventTap_) eventTap_->setEnabled(false);
    if (runLoopSource_) runLoopSource_->removeFromMainRunLoop();
    smoothScroller_.stop();
    acceleration_.reset();
    runLoopSource_.reset();
    eventTap_.reset();
    isRunning_ = false;
}

Event* ScrollInterceptor::eventTapCallback(EventTapProxy proxy, EventType type, Event* event,
                                           void* interceptor) {
    return static_cast<ScrollInterceptor*>(interceptor)->handleTapEvent(proxy, type, event);
}

bool ScrollInterceptor::targetKeepsRawWheel() const {
    const std::shared_ptr<const Preferences::ApplicationNames> listed =
        preferences_.rawWheelApplications();
    if (listed->empty() || pointerApplication_ == nullptr) return false;
    const std::shared_ptr<const PointerTarget> target = pointerApplication_->current();
    return target && std::ranges::any_of(*listed, [&target](const std::string& entry) {
               return target->isNamed(entry);
           });
}

Event* ScrollInterceptor::handleTapEvent(EventTapProxy proxy, EventType type, Event* event) {
    if (type == kCGEventTapDisabledByTimeout || type == kCGEventTapDisabledByUserInput) {
        if (eventTap_) eventTap_->setEnabled(true);
        return event;
    }
    if (type != kCGEventScrollWheel) return event;
    if (!preferences_.isEnabled()) return event;
    if (event->integerValue(kCGEventSourceUserData) == ownEventMarker) return event;
    if (event->doubleValue(kCGScrollWheelEventScrollPhase) != 0.0 ||
        event->doubleValue(kCGScrollWheelEventMomentumPhase) != 0.0) {
        return event;
    }

    double d = event->doubleValue(kCGScrollWheelEventPointDeltaAxis1);
    bool horizontal = false;
    if (d == 0.0) {
        d = event->doubleValue(kCGScrollWheelEventPointDeltaAxis2);
        horizontal = true;
        if (d == 0.0) return event;
    }

    if (targetKeepsRawWheel()) {
        smoothScroller_.stop();
        return event;
    }

    const bool reverse = preferences_.reverseScroll();
    if (reverse) d = -d;
    const double c = clampedDelta(d);
    const double multiple = acceleration_.notchMultiple(event->timestamp(), {horizontal, c > 0},
                                                        preferences_.acceleration());
    const double distance = glideDistance(c, preferences_.scrollSpeed()) * multiple;
    const double factor = interpolationFactor(preferences_.smoothness());
    const EventField lines =
        horizontal ? kCGScrollWheelEventDeltaAxis2 : kCGScrollWheelEventDeltaAxis1;
    // A NaN delta or speed, or a speed whose product overflows, would aim the glide at NaN or
    // infinity: it would never end and would swallow every later wheel event. An event too full
    // to be marked as ours, counting the line delta that reversing may add, would glide for ever
    // too, its posts swallowed as new notches. Let such an event pass untouched instead.
    if (!std::isfinite(distance) || !std::isfinite(factor) ||
        !canCarryGlide(*event, reverse ? std::optional(lines) : std::nullopt)) {
        return event;
    }

    if (reverse) event->setIntegerValue(lines, negated(event->integerValue(lines)));
    smoothScroller_.addScroll(c, distance, factor, *event, proxy, horizontal);
    return nullptr;
}

}  // namespace glidewheel
