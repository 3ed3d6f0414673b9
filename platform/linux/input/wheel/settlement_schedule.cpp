// SPDX-License-Identifier: MIT

#include "platform/linux/input/wheel/settlement_schedule.h"

#include <algorithm>
#include <cstdlib>

namespace glidewheel::platform::linuxdesktop {

void SettlementSchedule::plan(std::uint64_t clone, WheelAxis axis, WheelCodes codes,
                              int largestUnits, WheelClock::time_point now) {
    if (codes.units == 0 && codes.detents == 0) return;
    const int largest = std::max(largestUnits, 1);
    const int pieces = std::max((std::abs(codes.units) + largest - 1) / largest, 1);
    const WheelClock::duration interval =
        pieces > 1 ? std::min<WheelClock::duration>(kInterval, kWindow / (pieces - 1))
                   : WheelClock::duration{};
    // Evenly split, rounding so the pieces add up exactly: the k-th ends at units * k / pieces.
    long long before = 0;
    for (int k = 1; k <= pieces; ++k) {
        const long long upTo = static_cast<long long>(codes.units) * k / pieces;
        Piece piece{clone, axis, {static_cast<int>(upTo - before), k == 1 ? codes.detents : 0}};
        before = upTo;
        planned_.push_back({now + interval * (k - 1), piece});
    }
    std::stable_sort(planned_.begin(), planned_.end(),
                     [](const Planned& a, const Planned& b) { return a.due < b.due; });
}

std::vector<SettlementSchedule::Piece> SettlementSchedule::due(WheelClock::time_point now) {
    std::vector<Piece> out;
    auto it = planned_.begin();
    for (; it != planned_.end() && it->due <= now; ++it) out.push_back(it->piece);
    planned_.erase(planned_.begin(), it);
    return out;
}

std::vector<SettlementSchedule::Piece> SettlementSchedule::takeUnlike(std::uint64_t clone,
                                                                      WheelAxis axis,
                                                                      int direction) {
    std::vector<Piece> out;
    std::erase_if(planned_, [&](const Planned& planned) {
        const Piece& piece = planned.piece;
        const bool unlike = piece.clone == clone &&
                            (piece.axis != axis || (piece.codes.units > 0 ? 1 : -1) != direction);
        if (unlike) out.push_back(piece);
        return unlike;
    });
    return out;
}

void SettlementSchedule::forget(std::uint64_t clone) {
    std::erase_if(planned_,
                  [clone](const Planned& planned) { return planned.piece.clone == clone; });
}

std::optional<WheelClock::time_point> SettlementSchedule::nextDeadline() const {
    if (planned_.empty()) return std::nullopt;
    return planned_.front().due;
}

}  // namespace glidewheel::platform::linuxdesktop
