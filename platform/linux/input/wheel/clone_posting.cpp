// SPDX-License-Identifier: MIT

#include "platform/linux/input/wheel/clone_posting.h"

#include "platform/linux/input/devices/clone_sink.h"

namespace glidewheel::platform::linuxdesktop {

namespace {

WheelAxis axisOf(bool horizontal) {
    return horizontal ? WheelAxis::horizontal : WheelAxis::vertical;
}

}  // namespace

void ClonePosting::add(EventTapProxy proxy, CloneSink& clone) {
    std::scoped_lock guard(mutex_);
    clones_[proxy.id] = &clone;
}

void ClonePosting::remove(EventTapProxy proxy) {
    std::scoped_lock guard(mutex_);
    clones_.erase(proxy.id);
    wheel_.forget(proxy.id);
}

void ClonePosting::post(EventTapProxy proxy, const Event& event) {
    const auto now = WheelClock::now();
    std::scoped_lock guard(mutex_);
    if (!clones_.contains(proxy.id)) return;
    writeLocked(wheel_.post(proxy.id, WheelAxis::vertical,
                            event.doubleValue(kCGScrollWheelEventPointDeltaAxis1), now));
    writeLocked(wheel_.post(proxy.id, WheelAxis::horizontal,
                            event.doubleValue(kCGScrollWheelEventPointDeltaAxis2), now));
    scheduleLocked();
}

void ClonePosting::aim(const GlideAccount& glide) {
    std::scoped_lock guard(mutex_);
    wheel_.aim(glide.targetPoints);
}

void ClonePosting::end(const GlideAccount& glide) {
    const auto now = WheelClock::now();
    std::scoped_lock guard(mutex_);
    writeLocked(wheel_.end(glide.proxy.id, axisOf(glide.horizontal), glide.unpostedPoints, now));
    scheduleLocked();
}

void ClonePosting::writeLocked(const std::vector<WheelPosting::Write>& writes) {
    for (const WheelPosting::Write& write : writes) {
        const auto it = clones_.find(write.clone);
        if (it != clones_.end()) it->second->writeWheel(write.axis, write.codes);
    }
}

// Hands the loop a task for the next deadline unless one already comes no later: tasks cannot
// be taken back, and one that finds nothing due only schedules the next.
void ClonePosting::scheduleLocked() {
    const auto deadline = wheel_.nextDeadline();
    if (!deadline || (scheduled_ && *scheduled_ <= *deadline)) return;
    scheduled_ = deadline;
    loop_.postAt(*deadline, [this, at = *deadline] { runDue(at); });
}

void ClonePosting::runDue(InputLoop::Clock::time_point deadline) {
    const auto now = WheelClock::now();
    std::scoped_lock guard(mutex_);
    if (scheduled_ == deadline) scheduled_.reset();
    writeLocked(wheel_.due(now));
    scheduleLocked();
}

}  // namespace glidewheel::platform::linuxdesktop
