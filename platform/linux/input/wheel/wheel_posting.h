// SPDX-License-Identifier: MIT

#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <utility>
#include <vector>

#include "platform/linux/input/wheel/high_resolution_wheel.h"
#include "platform/linux/input/wheel/settlement_schedule.h"

namespace glidewheel::platform::linuxdesktop {

// What glides post, turned into what each clone writes: one GlideLedger for the glide (there is
// one engine, so one glide at a time), one CloneWheel per clone, and the schedule of the posts
// that settle a glide after its last frame. Plain logic with time as a parameter; the caller
// writes the results, and asks for due() again at nextDeadline().
class WheelPosting {
public:
    // The glide's posts of this long before its end bound the size of the posts that settle it.
    static constexpr WheelClock::duration kRecentPosts = std::chrono::milliseconds(100);

    using Write = SettlementSchedule::Piece;

    void aim(double targetPoints) { ledger_.aim(targetPoints); }
    std::vector<Write> post(std::uint64_t clone, WheelAxis axis, double points,
                            WheelClock::time_point now);
    // The glide is over (it ran out, was stopped, or a turn replaced it); its last posts went to
    // `clone` on `axis`. Returns what is due at once.
    std::vector<Write> end(std::uint64_t clone, WheelAxis axis, double unpostedPoints,
                           WheelClock::time_point now);
    std::vector<Write> due(WheelClock::time_point now);
    std::optional<WheelClock::time_point> nextDeadline() const { return schedule_.nextDeadline(); }
    void forget(std::uint64_t clone);

private:
    void send(const Write& write, WheelClock::time_point now, std::vector<Write>& out);
    void completeUnlike(std::uint64_t clone, WheelAxis axis, int direction,
                        WheelClock::time_point now, std::vector<Write>& out);
    int largestRecentPost(WheelClock::time_point now) const;

    void completeLeft(std::uint64_t clone, WheelAxis axis, int direction,
                      WheelClock::time_point now);

    GlideLedger ledger_;
    std::optional<std::uint64_t> glideClone_;  // where the glide's first units went
    std::optional<std::pair<std::uint64_t, WheelAxis>> lastPosted_;  // where its last units went
    std::map<std::uint64_t, CloneWheel> clones_;
    SettlementSchedule schedule_;
    std::deque<std::pair<WheelClock::time_point, int>> recent_;  // the glide's posts: time, |units|
};

}  // namespace glidewheel::platform::linuxdesktop
