// SPDX-License-Identifier: MIT

#pragma once

// Scenarios of wheel notches, and what applications should receive from each: the rows that
// every reader of the clones (libinput, a compositor's clients) is checked against.

#include <chrono>
#include <ostream>
#include <vector>

#include "tests/device/test_devices.h"

namespace glidewheel::devicetest {

using namespace std::chrono_literals;

// A frame one of the scenario's mice sends, and how long the scenario then runs on.
struct Step {
    std::size_t mouse = 0;
    Frame frame;
    std::chrono::milliseconds then{};
};

// What a scenario should leave, and its steps: scroll in v120 units (120 a detent, positive
// down and right) summed over its mice, and the legacy steps of the clones in order (REL_WHEEL
// positive up, REL_HWHEEL positive right), mouse by mouse.
struct Scenario {
    const char* name;
    std::chrono::milliseconds pause{};  // before the first step, the mice plugged in and idle
    double vertical = 0, horizontal = 0;
    std::vector<int> verticalSteps{}, horizontalSteps{};
    std::vector<Step> steps{};

    friend void PrintTo(const Scenario& scenario, std::ostream* out) { *out << scenario.name; }
};

// The pauses outlast libinput's 500 ms scroll timeout: each notch after one starts a new scroll,
// whose start libinput holds back until half a detent has come.
inline const std::vector<Scenario> kScenarios = {
    {.name = "NotchesAfterPauses",
     .pause = 600ms,
     .vertical = 240,
     .verticalSteps = {-1, -1},
     .steps = {{0, kNotchDown, 800ms}, {0, kNotchDown, 800ms}}},
    // The turn comes mid-glide; a plain mouse leaves one click down and two up.
    {.name = "DownUpMidGlideThenUp",
     .vertical = -120,
     .verticalSteps = {-1, 1, 1},
     .steps = {{0, kNotchDown, 100ms}, {0, kNotchUp, 1500ms}, {0, kNotchUp, 1500ms}}},
    {.name = "AxisSwitchesMidGlide",
     .vertical = 240,
     .horizontal = 120,
     .verticalSteps = {-1, -1},
     .horizontalSteps = {1},
     .steps = {{0, kNotchDown, 150ms}, {0, kNotchRight, 150ms}, {0, kNotchDown, 1150ms}}},
    // The second notch extends the first one's glide onto the other mouse's clone.
    {.name = "TwoMiceOneGlide",
     .pause = 600ms,
     .vertical = 240,
     .verticalSteps = {-1, -1},
     .steps = {{0, kNotchDown, 30ms}, {1, kNotchDown, 1000ms}}},
};

// An X server's core clicks from a running sum of v120 values: one each time it reaches a whole
// detent either way, the rest kept across pauses and turns. Positive: down.
inline std::vector<int> coreClicks(const std::vector<double>& v120) {
    std::vector<int> clicks;
    double sum = 0.0;
    for (const double value : v120) {
        sum += value;
        for (; sum >= 120.0; sum -= 120.0) clicks.push_back(1);
        for (; sum <= -120.0; sum += 120.0) clicks.push_back(-1);
    }
    return clicks;
}

}  // namespace glidewheel::devicetest
