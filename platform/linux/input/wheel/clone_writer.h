// SPDX-License-Identifier: MIT

#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/event.h"
#include "platform/event_tap.h"
#include "platform/linux/base/display_refreshes.h"
#include "platform/linux/input/input_loop.h"
#include "platform/linux/input/wheel/wheel_accounting.h"

namespace glidewheel::platform::linuxdesktop {

class CloneSink;

// Writes posted scroll to the clones: finds the clone that a tap proxy names, has the glide's
// posts and its end accounted into wheel codes (WheelAccounting), and writes them. The pieces
// that settle a glide go out from tasks on the input loop, timed by the display's refreshes.
//
// Clones are added and removed on the input thread; posts come from any thread (the display
// link's, mostly). Everything here is under one lock, held while writing, so a clone is never
// destroyed under a post: remove it before destroying it.
class CloneWriter {
public:
    // The loop may be made after this, but must end before it goes.
    CloneWriter(InputLoop& loop, const DisplayRefreshes& refreshes)
        : loop_(loop), refreshes_(refreshes) {}
    CloneWriter(const CloneWriter&) = delete;
    CloneWriter& operator=(const CloneWriter&) = delete;

    void add(EventTapProxy proxy, CloneSink& clone);
    // Writes what brings the clone to a whole detent (a glide cut short as its tap was disabled
    // may not have settled yet), then lets it go.
    void remove(EventTapProxy proxy);

    // Scroll posted in points (field 96 vertical, 97 horizontal); dropped when the proxy names
    // no clone (its mouse or tap is gone).
    void post(EventTapProxy proxy, const Event& event);
    void aim(const GlideAccount& glide);
    void end(const GlideAccount& glide);
    // Writes what the clone still owes of a glide now, ahead of the mouse's own wheel.
    void settleNow(EventTapProxy proxy);
    // The mouse's own wheel codes written to its clone.
    void passed(EventTapProxy proxy, WheelCodes vertical, WheelCodes horizontal);

private:
    void writeLocked(const std::vector<WheelAccounting::Write>& writes);
    void scheduleLocked();
    void runDue(InputLoop::Clock::time_point deadline);

    InputLoop& loop_;
    const DisplayRefreshes& refreshes_;
    std::mutex mutex_;
    std::map<std::uint64_t, CloneSink*> clones_;
    WheelAccounting wheel_;
    std::optional<WheelClock::time_point> scheduled_;  // the earliest task handed to the loop
};

}  // namespace glidewheel::platform::linuxdesktop
