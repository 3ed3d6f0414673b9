// SPDX-License-Identifier: MIT

#include "engine/smooth_scroller.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <mutex>
#include <utility>

namespace glidewheel {

using namespace glidewheel::platform;

namespace {

constexpr double kLargestDistance = std::numeric_limits<double>::max();

// Turns the copy of a wheel event into one frame's post: `amount` points of continuous scroll
// along the wheel's axis, marked as the scroller's own. Writes the fields canCarryGlide counts.
void rewriteAsGlidePost(Event& event, bool horizontal, double amount) {
    // A vertical wheel turned with shift held scrolls sideways.
    const bool sideways = horizontal || (event.flags() & kCGEventFlagMaskShift) != 0;
    event.setDoubleValue(kCGScrollWheelEventPointDeltaAxis1, sideways ? 0.0 : amount);
    event.setDoubleValue(kCGScrollWheelEventPointDeltaAxis2, sideways ? amount : 0.0);
    event.setDoubleValue(kCGScrollWheelEventFixedPtDeltaAxis1, 0.0);
    event.setDoubleValue(kCGScrollWheelEventFixedPtDeltaAxis2, 0.0);
    event.setIntegerValue(kCGScrollWheelEventIsContinuous, 1);
    event.setIntegerValue(kCGEventSourceUserData, ownEventMarker);
}

}  // namespace

bool canCarryGlide(const Event& event, std::optional<EventField> alsoWritten) {
    constexpr std::size_t kRewritten = 6;
    if (event.fieldCount() + kRewritten + 1 <= Event::kMaxFields) return true;  // the usual case
    std::size_t missing = alsoWritten && !event.hasField(*alsoWritten) ? 1 : 0;
    for (EventField field :
         {kCGScrollWheelEventPointDeltaAxis1, kCGScrollWheelEventPointDeltaAxis2,
          kCGScrollWheelEventFixedPtDeltaAxis1, kCGScrollWheelEventFixedPtDeltaAxis2,
          kCGScrollWheelEventIsContinuous, kCGEventSourceUserData}) {
        if (field != alsoWritten && !event.hasField(field)) ++missing;
    }
    return event.fieldCount() + missing <= Event::kMaxFields;
}

SmoothScroller::SmoothScroller(DisplayLinkService& displayLinks, EventTapService& eventTaps)
    : displayLinkService_(displayLinks), eventTaps_(eventTaps) {}

void SmoothScroller::addScroll(double delta, double distance, double factor, const Event& event,
                               EventTapProxy proxy, bool horizontal) {
    {
        std::scoped_lock ordered(reporting);
        std::optional<GlideAccount> replaced;
        GlideAccount aimed;
        {
            std::scoped_lock guard(lock);
            cachedInterpolationFactor = factor;
            if (delta * lastDelta <= 0.0) {
                if (lastDelta != 0.0) replaced = glideAccount(true);  // a turn cuts the glide short
                currentPosition = 0.0;
                targetPosition = distance;
                subPixelAccum = 0.0;
            } else {
                // Saturate so that a run of huge distances cannot aim at infinity, which would
                // turn every later step into NaN and the glide endless.
                targetPosition =
                    std::clamp(targetPosition + distance, -kLargestDistance, kLargestDistance);
            }
            lastDelta = delta;
            storedEvent = event;
            storedProxy = proxy;
            isHorizontal = horizontal;
            ++handOffs;
            aimed = glideAccount();
        }
        if (replaced) eventTaps_.glideEnded(*replaced);
        eventTaps_.glideAimed(aimed);
    }
    startDisplayLink();
}

GlideAccount SmoothScroller::glideAccount(bool cutShort) const {
    // Posts go sideways as advanceFrame decides; what they left is what was travelled beyond
    // them and what is still to travel.
    const bool sideways =
        isHorizontal || (storedEvent && (storedEvent->flags() & kCGEventFlagMaskShift) != 0);
    return GlideAccount{storedProxy, sideways, targetPosition,
                        targetPosition - currentPosition + subPixelAccum, cutShort};
}

void SmoothScroller::startDisplayLink() {
    if (!displayLink) {
        std::unique_ptr<DisplayLink> made = displayLinkService_.createWithActiveDisplays();
        if (made) made->setOutputCallback(&SmoothScroller::displayLinkCallback, this);
        std::scoped_lock guard(lock);
        displayLink = std::move(made);
    }
    if (displayLink && !displayLink->isRunning()) displayLink->start();
}

void SmoothScroller::clearGlide() {
    storedEvent.reset();
    storedProxy = EventTapProxy{};
    currentPosition = 0.0;
    targetPosition = 0.0;
    lastDelta = 0.0;
    subPixelAccum = 0.0;
}

void SmoothScroller::stop() {
    DisplayLink* link;
    {
        std::scoped_lock guard(lock);  // the first hand-off may be making it
        link = displayLink.get();
    }
    if (link == nullptr) return;
    link->stop();
    {
        std::scoped_lock ordered(reporting);
        std::optional<GlideAccount> ended;
        {
            std::scoped_lock guard(lock);
            if (lastDelta != 0.0) ended = glideAccount(true);
            clearGlide();
        }
        if (ended) eventTaps_.glideEnded(*ended);
    }
    // A frame that was ending its glide as the link stopped starts it again when a hand-off
    // came just before this stop. With the glide cleared no frame restarts it any more, so a
    // second stop leaves the link stopped for good.
    link->stop();
}

void SmoothScroller::endGlide(std::uint64_t handOffsSeen) {
    displayLink->stop();
    bool handedOffMeanwhile;
    {
        std::scoped_lock ordered(reporting);
        std::optional<GlideAccount> ended;
        {
            std::scoped_lock guard(lock);
            handedOffMeanwhile = handOffs != handOffsSeen;
            if (!handedOffMeanwhile) {
                ended = glideAccount();
                clearGlide();
            }
        }
        if (ended) eventTaps_.glideEnded(*ended);
    }
    // The hand-off may have found the link still running and left it alone: run it again so the
    // wheel event it stands for (already swallowed) still glides.
    if (handedOffMeanwhile) displayLink->start();
}

void SmoothScroller::advanceFrame() {
    std::optional<Event> copy;
    EventTapProxy proxy;
    bool horizontal;
    double amount = 0.0;
    bool post = false;
    double step;
    bool stalled = false;
    bool lost = false;
    std::uint64_t handOffsSeen;
    std::unique_lock ordered(reporting);  // until the post is out
    {
        std::scoped_lock guard(lock);
        step = cachedInterpolationFactor * (targetPosition - currentPosition);
        if (!std::isfinite(step)) {
            // The target and the position lie further apart than a double can hold (speeds of
            // both signs near the largest double set mid-glide): the glide cannot go on. It is
            // dropped at once, so a hand-off before endGlide starts a fresh one.
            lost = true;
            clearGlide();
        } else {
            const double before = currentPosition;
            currentPosition += step;
            // Far from zero the doubles are too coarse for the step to move the position any
            // more, though it is still above 0.1 point: the glide has gone as far as it can.
            stalled = currentPosition == before;
            const double sum = subPixelAccum + step;
            if (std::fabs(sum) >= kGlidePostPoints) {
                amount = sum;
                post = true;
                subPixelAccum = 0.0;
            } else {
                subPixelAccum = sum;
            }
        }
        copy = storedEvent;
        proxy = storedProxy;
        horizontal = isHorizontal;
        handOffsSeen = handOffs;
    }

    if (post && copy && proxy) {
        rewriteAsGlidePost(*copy, horizontal, amount);
        eventTaps_.postEvent(proxy, *copy);
    }
    ordered.unlock();

    // After the post, so the last frame still posts what it gathered.
    if (lost || stalled || std::fabs(step) <= kGlideStopStep) endGlide(handOffsSeen);
}

CVReturn SmoothScroller::displayLinkCallback(DisplayLink*, const DisplayTimeStamp*,
                                             const DisplayTimeStamp*, std::uint64_t, std::uint64_t*,
                                             void* userContext) {
    if (userContext == nullptr) return kCVReturnError;
    static_cast<SmoothScroller*>(userContext)->advanceFrame();
    return kCVReturnSuccess;
}

SmoothScroller::GlideState SmoothScroller::glideState() const {
    std::scoped_lock guard(lock);
    return GlideState{currentPosition,
                      targetPosition,
                      lastDelta,
                      subPixelAccum,
                      cachedInterpolationFactor,
                      isHorizontal,
                      storedEvent.has_value(),
                      storedProxy};
}

bool SmoothScroller::isDisplayLinkRunning() const {
    DisplayLink* link;
    {
        std::scoped_lock guard(lock);
        link = displayLink.get();
    }
    return link != nullptr && link->isRunning();
}

}  // namespace glidewheel
