// SPDX-License-Identifier: MIT

#pragma once

#include <string>

#include "tools/lab/replay.h"

namespace glidewheel::lab {

// A self-contained SVG line chart of the scroll position over time, in points against
// milliseconds, with two series:
// - "with Glidewheel": the running sum of what applications receive;
// - "each notch at once": the same wheel events if every swallowed notch's glide distance
//   were applied at the moment it arrived (events let through count the same in both).
// The vertical axis (fields 96) is plotted, unless nothing in the trace moves vertically and
// something moves sideways: then the horizontal one (fields 97) is.
std::string svgChart(const ReplayResult& result);

}  // namespace glidewheel::lab
