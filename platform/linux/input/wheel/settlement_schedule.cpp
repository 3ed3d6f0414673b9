// SPDX-License-Identifier: MIT

#include "platform/linux/input/wheel/settlement_schedule.h"

#include <algorithm>
#include <cstdlib>

namespace glidewheel::platform::linuxdesktop {

WheelClock::time_point refreshStart(const Refreshes& refreshes, WheelClock::time_point time) {
    const std::int64_t ns =
        std::chrono::duration_cast<std::chrono::nanoseconds>(time.time_since_epoch()).count();
    std::int64_t since = (ns - refreshes.lastNs) % refreshes.periodNs;
    if (since < 0) since += refreshes.periodNs;
    return time - std::chrono::nanoseconds(since);
}

void SettlementSchedule::plan(std::uint64_t clone, WheelAxis axis, WheelCodes codes,
                              int largestUnits, int refreshes) {
    if (codes.units == 0 && codes.detents == 0) return;
    std::deque<Owed>& queue = owed_[clone];
    if (queue.empty() || !queue.back().goes(axis, directionOf(codes.units)))
        queue.push_back(Owed{axis, {}, 0});
    Owed& owed = queue.back();
    owed.codes.units += codes.units;
    owed.codes.detents += codes.detents;
    const int largest = std::max(largestUnits, 1);
    const int pieces = std::max((std::abs(owed.codes.units) + largest - 1) / largest, 1);
    owed.refreshes = std::clamp(pieces, 1, std::max(refreshes, 1));
}

void SettlementSchedule::written(std::uint64_t clone, WheelClock::time_point now) {
    lastWrite_[clone] = now;
}

bool SettlementSchedule::writtenIn(std::uint64_t clone, WheelClock::time_point refresh) const {
    const auto it = lastWrite_.find(clone);
    return it != lastWrite_.end() && it->second >= refresh;
}

// Evenly split, rounding so the pieces add up exactly; whole when another scroll waits.
SettlementSchedule::Piece SettlementSchedule::next(std::uint64_t clone) {
    std::deque<Owed>& queue = owed_.at(clone);
    Owed& owed = queue.front();
    const int shares = queue.size() > 1 ? 1 : std::max(owed.refreshes, 1);
    const int rest = owed.codes.units * (shares - 1) / shares;
    const Piece piece{clone, owed.axis, {owed.codes.units - rest, owed.codes.detents}};
    owed.codes = {rest, 0};
    --owed.refreshes;
    if (rest == 0) queue.pop_front();
    if (queue.empty()) owed_.erase(clone);
    return piece;
}

std::vector<SettlementSchedule::Piece> SettlementSchedule::due(WheelClock::time_point now,
                                                               const Refreshes& refreshes) {
    std::vector<Piece> out;
    const WheelClock::time_point refresh = refreshStart(refreshes, now);
    std::vector<std::uint64_t> clones;
    for (const auto& [clone, queue] : owed_)
        if (!writtenIn(clone, refresh)) clones.push_back(clone);
    for (const std::uint64_t clone : clones) out.push_back(next(clone));
    return out;
}

std::optional<SettlementSchedule::Piece> SettlementSchedule::takeNext(std::uint64_t clone,
                                                                      WheelAxis axis,
                                                                      int direction) {
    const auto it = owed_.find(clone);
    if (it == owed_.end() || it->second.size() > 1 || !it->second.front().goes(axis, direction))
        return std::nullopt;
    return next(clone);
}

std::optional<SettlementSchedule::Piece> SettlementSchedule::takeAhead(std::uint64_t clone,
                                                                       WheelAxis axis,
                                                                       int direction) {
    const auto it = owed_.find(clone);
    if (it == owed_.end() || (it->second.size() == 1 && it->second.front().goes(axis, direction)))
        return std::nullopt;
    const Owed first = it->second.front();
    it->second.pop_front();
    if (it->second.empty()) owed_.erase(it);
    return Piece{clone, first.axis, first.codes};
}

bool SettlementSchedule::endsWith(std::uint64_t clone, WheelAxis axis, int direction) const {
    const auto it = owed_.find(clone);
    return it != owed_.end() && it->second.back().goes(axis, direction);
}

WheelCodes SettlementSchedule::withdraw(std::uint64_t clone, WheelAxis axis) {
    WheelCodes withdrawn;
    const auto it = owed_.find(clone);
    if (it == owed_.end()) return withdrawn;
    std::erase_if(it->second, [&](const Owed& owed) {
        if (owed.axis != axis) return false;
        withdrawn.units += owed.codes.units;
        withdrawn.detents += owed.codes.detents;
        return true;
    });
    if (it->second.empty()) owed_.erase(it);
    return withdrawn;
}

std::vector<SettlementSchedule::Piece> SettlementSchedule::takeAll(std::uint64_t clone) {
    std::vector<Piece> out;
    const auto it = owed_.find(clone);
    if (it == owed_.end()) return out;
    for (const Owed& owed : it->second) out.push_back(Piece{clone, owed.axis, owed.codes});
    owed_.erase(it);
    return out;
}

void SettlementSchedule::forget(std::uint64_t clone) {
    owed_.erase(clone);
    lastWrite_.erase(clone);
}

// Each clone that owes is due in the first refresh without a write of it, a quarter refresh
// after the glide's own posts come: a glide going on posts first, and its post carries the
// piece.
std::optional<WheelClock::time_point> SettlementSchedule::nextDeadline(
    const Refreshes& refreshes) const {
    std::optional<WheelClock::time_point> earliest;
    const auto period = std::chrono::nanoseconds(refreshes.periodNs);
    const auto after = std::min<WheelClock::duration>(phase_ + period / 4, period * 3 / 4);
    for (const auto& [clone, owed] : owed_) {
        const auto write = lastWrite_.find(clone);
        if (write == lastWrite_.end()) return WheelClock::time_point{};  // at once
        const auto due = refreshStart(refreshes, write->second) + period + after;
        if (!earliest || due < *earliest) earliest = due;
    }
    return earliest;
}

}  // namespace glidewheel::platform::linuxdesktop
