// SPDX-License-Identifier: MIT

#include "platform/linux/input/wheel/wheel_posting.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace glidewheel::platform::linuxdesktop {

namespace {

// A glide that posted nothing lately settles in pieces of a point: the least the engine posts.
constexpr int kSmallestPostUnits = static_cast<int>(kUnitsPerPoint);

}  // namespace

std::vector<WheelPosting::Write> WheelPosting::post(std::uint64_t clone, WheelAxis axis,
                                                    double points, WheelClock::time_point now) {
    std::vector<Write> out;
    if (!(points != 0.0)) return out;  // also NaN
    const int direction = points > 0.0 ? 1 : -1;
    completeLeft(clone, axis, direction, now);
    completeUnlike(clone, axis, direction, now, out);
    CloneWheel& wheel = clones_[clone];
    if (!glideClone_) glideClone_ = clone;
    const bool raise = *glideClone_ == clone && wheel.startsNewScroll(axis, direction, now);
    const int units = ledger_.post(points, raise);
    if (units == 0) return out;
    send({clone, axis, {units, wheel.commit(axis, units)}}, now, out);
    lastPosted_.emplace(clone, axis);
    recent_.emplace_back(now, std::abs(units));
    while (recent_.front().first < now - kRecentPosts) recent_.pop_front();
    return out;
}

std::vector<WheelPosting::Write> WheelPosting::end(std::uint64_t clone, WheelAxis axis,
                                                   double unpostedPoints,
                                                   WheelClock::time_point now) {
    const int units = ledger_.settle(unpostedPoints);
    const int largest = largestRecentPost(now);
    recent_.clear();
    glideClone_.reset();
    lastPosted_.reset();
    std::vector<Write> out;
    if (units != 0) {
        completeUnlike(clone, axis, units > 0 ? 1 : -1, now, out);
        schedule_.plan(clone, axis, {units, clones_[clone].commit(axis, units)}, largest, now);
    }
    for (const Write& write : schedule_.due(now)) send(write, now, out);
    return out;
}

std::vector<WheelPosting::Write> WheelPosting::due(WheelClock::time_point now) {
    std::vector<Write> out;
    for (const Write& write : schedule_.due(now)) send(write, now, out);
    return out;
}

// The glide moves on to another axis or clone: the one it leaves gets what completes its detent,
// in pieces like a settlement's, which scroll on another axis of the same clone takes at once.
void WheelPosting::completeLeft(std::uint64_t clone, WheelAxis axis, int direction,
                                WheelClock::time_point now) {
    if (!lastPosted_ || *lastPosted_ == std::pair(clone, axis)) return;
    const auto [leftClone, leftAxis] = *lastPosted_;
    lastPosted_.reset();
    const auto left = clones_.find(leftClone);
    if (left == clones_.end()) return;
    const int units = ledger_.sendAhead(left->second.toWholeDetent(leftAxis, direction));
    if (units == 0) return;
    schedule_.plan(leftClone, leftAxis, {units, left->second.commit(leftAxis, units)},
                   largestRecentPost(now), now);
}

void WheelPosting::forget(std::uint64_t clone) {
    if (lastPosted_ && lastPosted_->first == clone) lastPosted_.reset();
    clones_.erase(clone);
    schedule_.forget(clone);
}

void WheelPosting::send(const Write& write, WheelClock::time_point now, std::vector<Write>& out) {
    if (write.codes.units != 0) {
        clones_[write.clone].sent(write.axis, write.codes.units > 0 ? 1 : -1, now);
    }
    out.push_back(write);
}

void WheelPosting::completeUnlike(std::uint64_t clone, WheelAxis axis, int direction,
                                  WheelClock::time_point now, std::vector<Write>& out) {
    for (const Write& write : schedule_.takeUnlike(clone, axis, direction)) send(write, now, out);
}

int WheelPosting::largestRecentPost(WheelClock::time_point now) const {
    int largest = 0;
    for (const auto& [time, units] : recent_)
        if (time >= now - kRecentPosts) largest = std::max(largest, units);
    return largest > 0 ? largest : kSmallestPostUnits;
}

}  // namespace glidewheel::platform::linuxdesktop
