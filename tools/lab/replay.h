// SPDX-License-Identifier: MIT

#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <vector>

#include "engine/scroll_interceptor.h"
#include "platform/sim/sim_platform.h"
#include "settings/preferences.h"
#include "tools/lab/trace.h"

namespace glidewheel::lab {

// An event that reached applications.
struct Delivery {
    Exact timeMs;
    std::optional<std::uint64_t> frame;  // the display frame that posted it; none for a wheel event
    platform::Event event;
    bool glide;  // synthesized by the glide, rather than a wheel event let through
};

// A wheel event the interceptor swallowed, with the distance it asked to glide.
struct Notch {
    Exact timeMs;
    double distance;  // points
    bool sideways;    // glides along the second axis (a horizontal wheel, or shift held)
};

struct ReplayResult {
    std::vector<Delivery> deliveries;
    std::vector<Notch> notches;
};

// Replays the trace through the interceptor and scroller on the sim backend, with the options
// set through the preferences' setters, and records what applications receive.
//
// Display frame k (k = 1, 2, ...) is at k × 1000 / refresh ms. The display refreshes whether or
// not a glide runs, but the display link is called only while it runs. Events are handled in
// time order (equal times in the order given), each before every frame at or after its time.
// While no glide runs the clock jumps to the next event; the first frame after it is the first
// refresh at or after its time (but never before frame 1).
//
// The interceptor must be the shared one (its tap reaches it through ScrollInterceptor::shared)
// and run on `platform`; it is started for the replay unless smoothing is disabled, and stopped
// at the end, so replays can follow one another.
ReplayResult replay(const LabOptions& options, platform::sim::SimPlatform& platform,
                    Preferences& preferences, ScrollInterceptor& interceptor);

// time_ms,frame,origin,f96,f97,f11,f12,f88,f42 and a row per delivery.
void writeCsv(std::ostream& out, const std::vector<Delivery>& deliveries);

}  // namespace glidewheel::lab
