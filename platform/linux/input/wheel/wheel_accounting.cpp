// SPDX-License-Identifier: MIT

#include "platform/linux/input/wheel/wheel_accounting.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace glidewheel::platform::linuxdesktop {

namespace {

// A glide that posted nothing lately settles in pieces of a point: the least the engine posts.
constexpr int kSmallestPostUnits = static_cast<int>(kUnitsPerPoint);

}  // namespace

std::vector<WheelAccounting::Write> WheelAccounting::forget(std::uint64_t clone,
                                                            WheelClock::time_point now) {
    for (const WheelAxis axis : {WheelAxis::vertical, WheelAxis::horizontal}) {
        const bool glides = lastPosted_ == std::pair(clone, axis);
        const int moved = toAnnouncedDetent(clone, axis, now);
        // What the glide sent it ahead that never goes out, or what now goes out to bring it to
        // a detent, changes what the glide's later posts repay.
        if (glides) ledger_.sendAhead(moved, true);
    }
    // The glide posts through it: its rest was meant for this clone, and counts as sent, or it
    // would go to the next mouse the glide moves on to. A clone the glide left without posting
    // here yet is completed, as the first post here would have.
    if (aimedAt_.first == clone) {
        if (lastPosted_ && lastPosted_->first != clone) completeLeft(aimedAt_.second, now);
        ledger_.sendRest();
    }
    std::vector<Write> out = schedule_.takeAll(clone);
    if (lastPosted_ && lastPosted_->first == clone) lastPosted_.reset();
    clones_.erase(clone);
    schedule_.forget(clone);
    return out;
}

void WheelAccounting::aim(std::uint64_t clone, double targetPoints) {
    aimedAt_ = {clone, targetPoints > 0.0 ? 1 : -1};
    ledger_.aim(targetPoints);
    forecast_.restart();
}

std::vector<WheelAccounting::Write> WheelAccounting::post(std::uint64_t clone, WheelAxis axis,
                                                          double points, WheelClock::time_point now,
                                                          const Refreshes& refreshes) {
    std::vector<Write> out;
    if (std::isnan(points) || points == 0.0) return out;
    const int direction = points > 0.0 ? 1 : -1;
    if (lastPosted_ != std::pair(clone, axis)) completeLeft(direction, now);
    if (!clones_.contains(clone)) {
        // Its mouse or tap is gone: the post counts as sent to it all the same (the glide's rest
        // was sent ahead to it as it went), or it would go to the next clone the glide posts to.
        ledger_.post(points, false);
        return out;
    }
    const WheelClock::time_point refresh = refreshStart(refreshes, now);
    // Scroll that turns first completes what the clone owes of the scroll before, and a post
    // never overtakes what was queued before it: the first scroll queued goes whole, if this
    // refresh still has room for a write of the clone, and the post waits behind the queue.
    if (!schedule_.writtenIn(clone, refresh))
        if (const auto piece = schedule_.takeAhead(clone, axis, direction)) send(*piece, now, out);
    CloneWheel& wheel = clones_[clone];
    if (!glideClone_) glideClone_ = clone;
    // A post joining one already queued this way was raised with it, if it had to be.
    const bool raise = *glideClone_ == clone && wheel.holdsBack({axis, direction, now}) &&
                       !schedule_.endsWith(clone, axis, direction);
    const int units = ledger_.post(points, raise);
    lastPosted_.emplace(clone, axis);
    lastPostAt_ = now;
    schedule_.setPhase(now - refresh);
    if (units != 0) {
        Write write{clone, axis, {units, wheel.commit(axis, units)}};
        if (schedule_.writtenIn(clone, refresh)) {
            // The refresh already has a write of this clone (a turn's completion of the scroll
            // before, or a settling piece), or more is queued for it: the post goes in a later
            // refresh, behind what the clone owes, carried by the glide's next post.
            schedule_.plan(clone, axis, write.codes, std::abs(units), 1);
        } else {
            // What the clone still owes this way rides along rather than take a frame of its own.
            if (const auto piece = schedule_.takeNext(clone, axis, direction)) {
                write.codes.units += piece->codes.units;
                write.codes.detents += piece->codes.detents;
            }
            send(write, now, out);
        }
        recent_.emplace_back(now, std::abs(units));
        while (recent_.front().first < now - kRecentPosts) recent_.pop_front();
    }
    const auto period = std::chrono::nanoseconds(refreshes.periodNs);
    if (forecast_.isLast(ledger_.unpostedPoints(), now, period))
        plan(clone, axis, ledger_.sendRest(), kSettlingRefreshes, now);
    return out;
}

std::vector<WheelAccounting::Write> WheelAccounting::end(std::uint64_t clone, WheelAxis axis,
                                                         double unpostedPoints, bool cutShort,
                                                         WheelClock::time_point now,
                                                         const Refreshes& refreshes) {
    std::vector<Write> out;
    // A hand-off moved the glide to another clone or axis, and it ended before posting there:
    // the one it left is brought to its announced detent, sent ahead of the glide's rest.
    if (lastPosted_ && *lastPosted_ != std::pair(clone, axis)) {
        ledger_.sendAhead(toAnnouncedDetent(lastPosted_->first, lastPosted_->second, now), true);
    }
    if (cutShort) {
        ledger_.drop();
        toAnnouncedDetent(clone, axis, now);
    } else if (const int units = ledger_.settle(unpostedPoints); units != 0) {
        plan(clone, axis, units, refreshesLeft(now, refreshes), now);
    }
    recent_.clear();
    aimedAt_ = {};
    glideClone_.reset();
    lastPosted_.reset();
    lastPostAt_.reset();
    forecast_.restart();
    for (const Write& write : schedule_.due(now, refreshes)) send(write, now, out);
    return out;
}

std::vector<WheelAccounting::Write> WheelAccounting::due(WheelClock::time_point now,
                                                         const Refreshes& refreshes) {
    std::vector<Write> out;
    for (const Write& write : schedule_.due(now, refreshes)) send(write, now, out);
    return out;
}

std::vector<WheelAccounting::Write> WheelAccounting::settleNow(std::uint64_t clone,
                                                               WheelClock::time_point now) {
    std::vector<Write> out;
    for (const Write& piece : schedule_.takeAll(clone)) send(piece, now, out);
    return out;
}

void WheelAccounting::passed(std::uint64_t clone, WheelAxis axis, WheelCodes codes,
                             WheelClock::time_point now) {
    const auto it = clones_.find(clone);
    if (it == clones_.end() || codes.units == 0) return;
    it->second.passed(axis, codes.units, codes.detents);
    it->second.onUnits({axis, directionOf(codes.units), now});
    schedule_.written(clone, now);
}

// The glide moves on to another axis or clone, going `direction`: the one it leaves gets what
// completes its detent, in pieces like a settlement's, queued before the glide's next posts there.
void WheelAccounting::completeLeft(int direction, WheelClock::time_point now) {
    if (!lastPosted_) return;
    const auto [leftClone, leftAxis] = *lastPosted_;
    lastPosted_.reset();
    const auto left = clones_.find(leftClone);
    if (left == clones_.end()) return;
    plan(leftClone, leftAxis, ledger_.sendAhead(left->second.toWholeDetent(leftAxis, direction)),
         kSettlingRefreshes, now);
}

// The units planned for the clone on this axis and not yet written are taken back, and the axis
// is brought to its announced detent in one piece, queued after any scroll the clone owes on the
// other axis.
int WheelAccounting::toAnnouncedDetent(std::uint64_t clone, WheelAxis axis,
                                       WheelClock::time_point now) {
    const auto it = clones_.find(clone);
    if (it == clones_.end()) return 0;
    const WheelCodes withdrawn = schedule_.withdraw(clone, axis);
    it->second.withdraw(axis, withdrawn);
    const int units = it->second.toAnnouncedDetent(axis);
    plan(clone, axis, units, 1, now);
    return units - withdrawn.units;
}

void WheelAccounting::plan(std::uint64_t clone, WheelAxis axis, int units, int refreshes,
                           WheelClock::time_point now) {
    const auto it = clones_.find(clone);
    if (units == 0 || it == clones_.end()) return;
    schedule_.plan(clone, axis, {units, it->second.commit(axis, units)}, largestRecentPost(now),
                   refreshes);
}

void WheelAccounting::send(const Write& write, WheelClock::time_point now,
                           std::vector<Write>& out) {
    const auto it = clones_.find(write.clone);
    if (it == clones_.end()) return;
    if (write.codes.units != 0)
        it->second.onUnits({write.axis, directionOf(write.codes.units), now});
    schedule_.written(write.clone, now);
    out.push_back(write);
}

int WheelAccounting::largestRecentPost(WheelClock::time_point now) const {
    int largest = 0;
    for (const auto& [time, units] : recent_)
        if (time >= now - kRecentPosts) largest = std::max(largest, units);
    return largest > 0 ? largest : kSmallestPostUnits;
}

// The refreshes the glide's settling may still take: those left of the bound after its last
// post, counting this one, and at least one.
int WheelAccounting::refreshesLeft(WheelClock::time_point now, const Refreshes& refreshes) const {
    if (!lastPostAt_) return kSettlingRefreshes;
    const auto period = std::chrono::nanoseconds(refreshes.periodNs);
    const auto passed =
        (refreshStart(refreshes, now) - refreshStart(refreshes, *lastPostAt_)) / period;
    return std::max<int>(kSettlingRefreshes - static_cast<int>(passed), 1);
}

}  // namespace glidewheel::platform::linuxdesktop
