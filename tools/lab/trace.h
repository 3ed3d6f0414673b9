// SPDX-License-Identifier: MIT

#pragma once

#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/event.h"

namespace glidewheel::lab {

// Wide enough to compare times and frame numbers exactly by cross-multiplying.
__extension__ using Wide = unsigned __int128;

// A non-negative exact rational, in the unit its name gives.
struct Exact {
    Wide numerator = 0;
    Wide denominator = 1;
};

// "1.234" for a time in milliseconds: three decimals, halves rounded up.
std::string formatMillis(Exact ms);
double toDouble(Exact value);

struct TraceEvent {
    Exact timeMs;
    platform::Event event;
};

struct LabOptions {
    double speed = 1.0;
    double smoothness = 0.5;
    double acceleration = 0.0;
    bool reverse = false;
    bool disabled = false;
    Exact refreshHz{60, 1};
    std::optional<std::string> svgPath;
    std::vector<TraceEvent> events;  // in the order given
};

// What is wrong with a command-line argument, naming it.
class ArgumentError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// glidewheel-lab [--speed S] [--smoothness M] [--acceleration A] [--reverse] [--disabled]
//                [--refresh HZ] [--svg FILE] EVENT...
// Throws ArgumentError for the first argument that is not right.
LabOptions parseArguments(std::span<const std::string_view> arguments);

// TIME_MS:ITEM,ITEM,... with ITEM one of N=VALUE, flags=VALUE, type=VALUE. Times are exact
// decimals in milliseconds (up to 12 digits before the point and 6 after). Throws ArgumentError.
TraceEvent parseEvent(std::string_view text);

}  // namespace glidewheel::lab
