// SPDX-License-Identifier: MIT

#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <utility>
#include <vector>

#include "platform/linux/base/display_refreshes.h"
#include "platform/linux/input/wheel/clone_wheel.h"
#include "platform/linux/input/wheel/glide_ledger.h"
#include "platform/linux/input/wheel/last_post_forecast.h"
#include "platform/linux/input/wheel/settlement_schedule.h"

namespace glidewheel::platform::linuxdesktop {

// What glides post, accounted into what each clone writes (docs/wheel.md): one GlideLedger for
// the glide (there is one engine, so one glide at a time), one CloneWheel per clone, and the
// schedule of the pieces that settle glides. Plain logic with time and the display's refreshes
// as parameters; the caller writes the results, and asks for due() again at nextDeadline().
class WheelAccounting {
public:
    // The glide's posts of this long before its end bound the size of the pieces that settle it.
    static constexpr WheelClock::duration kRecentPosts = std::chrono::milliseconds(100);
    // A glide is settled within this many refreshes of its last post.
    static constexpr int kSettlingRefreshes = 6;

    using Write = SettlementSchedule::Piece;

    void add(std::uint64_t clone) { clones_.try_emplace(clone); }
    // The clone goes (its mouse or tap went): what brings it to the detent its legacy steps
    // announced, to write before it does, as what it still owes would never go out.
    std::vector<Write> forget(std::uint64_t clone, WheelClock::time_point now);

    // The glide, posting through `clone`, now aims at this signed distance.
    void aim(std::uint64_t clone, double targetPoints);
    std::vector<Write> post(std::uint64_t clone, WheelAxis axis, double points,
                            WheelClock::time_point now, const Refreshes& refreshes);
    // The glide is over (it ran out, was stopped, or a turn replaced it); its last posts went to
    // `clone` on `axis`. One that ran out settles what it left unposted; one cut short settles
    // its clone on the detent the legacy steps announced, in one write of at most half a detent,
    // and drops the rest. Returns what is due at once.
    std::vector<Write> end(std::uint64_t clone, WheelAxis axis, double unpostedPoints,
                           bool cutShort, WheelClock::time_point now, const Refreshes& refreshes);
    std::vector<Write> due(WheelClock::time_point now, const Refreshes& refreshes);
    // Whatever the clone still owes, due at once rather than at a later refresh (a write for each
    // scroll queued): the mouse's own wheel is about to pass, and must come after the glide it
    // cut short.
    std::vector<Write> settleNow(std::uint64_t clone, WheelClock::time_point now);
    std::optional<WheelClock::time_point> nextDeadline(const Refreshes& refreshes) const {
        return schedule_.nextDeadline(refreshes);
    }
    // The mouse's own wheel reached the clone (a tap that listens, or lets it pass).
    void passed(std::uint64_t clone, WheelAxis axis, WheelCodes codes, WheelClock::time_point now);

private:
    void send(const Write& write, WheelClock::time_point now, std::vector<Write>& out);
    void completeLeft(int direction, WheelClock::time_point now);
    // Returns how far that moves what the clone will have been written.
    int toAnnouncedDetent(std::uint64_t clone, WheelAxis axis, WheelClock::time_point now);
    void plan(std::uint64_t clone, WheelAxis axis, int units, int refreshes,
              WheelClock::time_point now);
    int largestRecentPost(WheelClock::time_point now) const;
    int refreshesLeft(WheelClock::time_point now, const Refreshes& refreshes) const;

    GlideLedger ledger_;
    LastPostForecast forecast_;
    std::optional<std::uint64_t> glideClone_;  // where the glide's first units went
    std::optional<std::pair<std::uint64_t, WheelAxis>> lastPosted_;  // where its last units went
    std::pair<std::uint64_t, int> aimedAt_;  // the clone it posts through, and its way; 0: none
    std::optional<WheelClock::time_point> lastPostAt_;
    std::map<std::uint64_t, CloneWheel> clones_;
    SettlementSchedule schedule_;
    std::deque<std::pair<WheelClock::time_point, int>> recent_;  // the glide's posts: time, |units|
};

}  // namespace glidewheel::platform::linuxdesktop
