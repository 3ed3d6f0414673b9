// SPDX-License-Identifier: MIT

#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/event.h"
#include "platform/event_tap.h"
#include "platform/linux/input/input_loop.h"
#include "platform/linux/input/wheel/wheel_posting.h"

namespace glidewheel::platform::linuxdesktop {

class CloneSink;

// Where posted scroll meets the clones: finds the clone that a tap proxy names, turns the
// glide's posts and its end into wheel codes (WheelPosting), and writes them. The posts that
// settle a glide after its last frame go out from tasks at their deadlines on the input loop.
//
// Clones are added and removed on the input thread; posts come from any thread (the display
// link's, mostly). Everything here is under one lock, held while writing, so a clone is never
// destroyed under a post: remove it before destroying it.
class ClonePosting {
public:
    // The loop may be made after this, but must end before it goes.
    explicit ClonePosting(InputLoop& loop) : loop_(loop) {}
    ClonePosting(const ClonePosting&) = delete;
    ClonePosting& operator=(const ClonePosting&) = delete;

    void add(EventTapProxy proxy, CloneSink& clone);
    void remove(EventTapProxy proxy);

    // Scroll posted in points (field 96 vertical, 97 horizontal); dropped when the proxy names
    // no clone (its mouse or tap is gone).
    void post(EventTapProxy proxy, const Event& event);
    void aim(const GlideAccount& glide);
    void end(const GlideAccount& glide);

private:
    void writeLocked(const std::vector<WheelPosting::Write>& writes);
    void scheduleLocked();
    void runDue(InputLoop::Clock::time_point deadline);

    InputLoop& loop_;
    std::mutex mutex_;
    std::map<std::uint64_t, CloneSink*> clones_;
    WheelPosting wheel_;
    std::optional<WheelClock::time_point> scheduled_;  // the earliest task handed to the loop
};

}  // namespace glidewheel::platform::linuxdesktop
