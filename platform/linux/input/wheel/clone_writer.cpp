// SPDX-License-Identifier: MIT

#include "platform/linux/input/wheel/clone_writer.h"

#include <algorithm>
#include <limits>

#include "platform/linux/input/devices/clone_sink.h"

namespace glidewheel::platform::linuxdesktop {

namespace {

WheelAxis axisOf(bool horizontal) {
    return horizontal ? WheelAxis::horizontal : WheelAxis::vertical;
}

}  // namespace

void CloneWriter::add(EventTapProxy proxy, CloneSink& clone) {
    std::scoped_lock guard(mutex_);
    clones_[proxy.id] = &clone;
    wheel_.add(proxy.id);
}

void CloneWriter::remove(EventTapProxy proxy) {
    std::scoped_lock guard(mutex_);
    writeLocked(wheel_.forget(proxy.id, WheelClock::now()));
    clones_.erase(proxy.id);
}

void CloneWriter::post(EventTapProxy proxy, const Event& event) {
    std::scoped_lock guard(mutex_);
    const auto now = WheelClock::now();  // under the lock: writes keep the order of their times
    const Refreshes refreshes = refreshes_.last();
    writeLocked(wheel_.post(proxy.id, WheelAxis::vertical,
                            event.doubleValue(kCGScrollWheelEventPointDeltaAxis1), now, refreshes));
    writeLocked(wheel_.post(proxy.id, WheelAxis::horizontal,
                            event.doubleValue(kCGScrollWheelEventPointDeltaAxis2), now, refreshes));
    scheduleLocked();
}

void CloneWriter::aim(const GlideAccount& glide) {
    std::scoped_lock guard(mutex_);
    wheel_.aim(glide.proxy.id, glide.targetPoints);
}

void CloneWriter::end(const GlideAccount& glide) {
    std::scoped_lock guard(mutex_);
    const auto now = WheelClock::now();
    const Refreshes refreshes = refreshes_.last();
    writeLocked(wheel_.end(glide.proxy.id, axisOf(glide.horizontal), glide.unpostedPoints,
                           glide.cutShort, now, refreshes));
    scheduleLocked();
}

void CloneWriter::settleNow(EventTapProxy proxy) {
    std::scoped_lock guard(mutex_);
    writeLocked(wheel_.settleNow(proxy.id, WheelClock::now()));
}

void CloneWriter::passed(EventTapProxy proxy, WheelCodes vertical, WheelCodes horizontal) {
    std::scoped_lock guard(mutex_);
    const auto now = WheelClock::now();
    wheel_.passed(proxy.id, WheelAxis::vertical, vertical, now);
    wheel_.passed(proxy.id, WheelAxis::horizontal, horizontal, now);
}

void CloneWriter::writeLocked(const std::vector<WheelAccounting::Write>& writes) {
    for (const WheelAccounting::Write& write : writes) {
        const auto it = clones_.find(write.clone);
        if (it != clones_.end()) it->second->writeWheel(write.axis, write.codes);
    }
}

// Hands the loop a task for the next deadline unless one already comes no later: tasks cannot
// be taken back, and one that finds nothing due only schedules the next.
void CloneWriter::scheduleLocked() {
    const auto deadline = wheel_.nextDeadline(refreshes_.last());
    if (!deadline || (scheduled_ && *scheduled_ <= *deadline)) return;
    scheduled_ = deadline;
    loop_.postAt(*deadline, [this, at = *deadline] { runDue(at); });
}

void CloneWriter::runDue(InputLoop::Clock::time_point deadline) {
    std::scoped_lock guard(mutex_);
    const auto now = WheelClock::now();
    const Refreshes refreshes = refreshes_.last();
    if (scheduled_ == deadline) scheduled_.reset();
    writeLocked(wheel_.due(now, refreshes));
    scheduleLocked();
}

}  // namespace glidewheel::platform::linuxdesktop
