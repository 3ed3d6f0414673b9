// SPDX-License-Identifier: MIT

#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <vector>

#include "platform/linux/base/display_refreshes.h"
#include "platform/linux/input/wheel/wheel_codes.h"

namespace glidewheel::platform::linuxdesktop {

// The start of the display refresh that `time` falls in, going by the link's last frame.
WheelClock::time_point refreshStart(const Refreshes& refreshes, WheelClock::time_point time);

// When the units that settle glides go out: on the display's refreshes, one write per clone per
// refresh, soon after the time the glide's own posts come in a refresh (`phase`). What a clone
// owes is a queue of scrolls, each on one axis and in one direction, written in the order they
// were planned: scroll that turns must find the clone's earlier scroll complete. The queue's
// first is split evenly over the refreshes its plan allows, or goes whole when another waits
// behind it. Time and refreshes are parameters: the owner asks what is due now and when to ask
// next.
class SettlementSchedule {
public:
    struct Piece {
        std::uint64_t clone = 0;
        WheelAxis axis = WheelAxis::vertical;
        WheelCodes codes;
        friend bool operator==(const Piece&, const Piece&) = default;
    };

    // Adds `codes` (units with the legacy steps they complete, which go with the first piece) to
    // what the clone owes on the axis, in pieces of at most `largestUnits` where `refreshes`
    // allow, else over `refreshes`. Joins the last scroll queued when it goes the same way.
    void plan(std::uint64_t clone, WheelAxis axis, WheelCodes codes, int largestUnits,
              int refreshes);
    // The clone was written now.
    void written(std::uint64_t clone, WheelClock::time_point now);
    // Whether the clone was written in the refresh that starts at `refresh`.
    bool writtenIn(std::uint64_t clone, WheelClock::time_point refresh) const;
    // Removes and returns a piece for each clone that owes and has no write in this refresh.
    std::vector<Piece> due(WheelClock::time_point now, const Refreshes& refreshes);
    // Removes and returns the clone's next piece, if its one scroll goes on this axis in this
    // direction, to ride a post that goes out now.
    std::optional<Piece> takeNext(std::uint64_t clone, WheelAxis axis, int direction);
    // Removes and returns, as one piece, the clone's first scroll if a post on this axis in this
    // direction must wait for it: it goes on another axis or the other way, or more is queued
    // behind it.
    std::optional<Piece> takeAhead(std::uint64_t clone, WheelAxis axis, int direction);
    // Whether the last scroll queued for the clone goes on this axis in this direction.
    bool endsWith(std::uint64_t clone, WheelAxis axis, int direction) const;
    // Removes what the clone owes on the axis and returns it, all scrolls together.
    WheelCodes withdraw(std::uint64_t clone, WheelAxis axis);
    // Removes and returns whatever the clone owes, a piece for each scroll in order.
    std::vector<Piece> takeAll(std::uint64_t clone);
    void forget(std::uint64_t clone);
    void setPhase(WheelClock::duration phase) { phase_ = phase; }
    std::optional<WheelClock::time_point> nextDeadline(const Refreshes& refreshes) const;

private:
    struct Owed {
        WheelAxis axis;
        WheelCodes codes;
        int refreshes;  // left to pay it in
        bool goes(WheelAxis way, int direction) const {
            return axis == way && directionOf(codes.units) == direction;
        }
    };
    Piece next(std::uint64_t clone);

    std::map<std::uint64_t, std::deque<Owed>> owed_;  // never an empty queue
    std::map<std::uint64_t, WheelClock::time_point> lastWrite_;
    WheelClock::duration phase_{};
};

}  // namespace glidewheel::platform::linuxdesktop
