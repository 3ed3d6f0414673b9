// SPDX-License-Identifier: MIT

#pragma once

// Scenarios of wheel notches, and what applications should receive from each: the rows that
// every reader of the clones (libinput, a compositor's clients) is checked against, and the
// player that runs them through the program's input path.

#include <chrono>
#include <ostream>
#include <thread>
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
// positive up, REL_HWHEEL positive right), mouse by mouse. The last step's run outlasts the
// glide and its settling.
struct Scenario {
    const char* name;
    std::chrono::milliseconds pause{};  // before the first step, the mice plugged in and idle
    double vertical = 0, horizontal = 0;
    std::vector<int> verticalSteps{}, horizontalSteps{};
    std::vector<Step> steps{};

    friend void PrintTo(const Scenario& scenario, std::ostream* out) { *out << scenario.name; }
};

// `count` notches down `apart`, the scenario running on for `last` after the last one.
inline std::vector<Step> notchesDown(int count, std::chrono::milliseconds apart,
                                     std::chrono::milliseconds last) {
    std::vector<Step> steps(count, {0, kNotchDown, apart});
    steps.back().then = last;
    return steps;
}

// Bursts of one and two notches 30 ms apart, 400 ms after the one before: each glide's settling
// runs into the next one's start or just past it, where a settling post could share a refresh
// with a glide's.
inline std::vector<Step> bursts(int count) {
    std::vector<Step> steps;
    for (int burst = 0; burst < count; ++burst)
        for (int notch = 0; notch <= burst % 2; ++notch)
            steps.push_back({0, kNotchDown, notch < burst % 2 ? 30ms : 400ms});
    steps.back().then = 800ms;
    return steps;
}

// The turn comes mid-glide; a plain mouse leaves one click down and two up.
inline const std::vector<Step> kDownUpUp = {{0, kNotchDown, 100ms},
                                            {0, kNotchUp, 1500ms},
                                            {0, kNotchUp, 1500ms}};
// Horizontal scroll, starting mid-glide of vertical scroll.
inline const std::vector<Step> kDownRightDown = {{0, kNotchDown, 150ms},
                                                 {0, kNotchRight, 150ms},
                                                 {0, kNotchDown, 1150ms}};
// The second notch extends the first one's glide onto the other mouse's clone.
inline const std::vector<Step> kOneGlideTwoMice = {{0, kNotchDown, 30ms}, {1, kNotchDown, 1000ms}};

// Rows: name, pause, vertical and horizontal v120, vertical and horizontal legacy steps, steps.
// The pauses outlast libinput's 500 ms scroll timeout: each notch after one starts a new scroll,
// whose start libinput holds back until half a detent has come.
inline const std::vector<Scenario> kScenarios = {
    {"OneNotch", 600ms, 120, 0, {-1}, {}, notchesDown(1, 0ms, 800ms)},
    {"ThreeSlowNotches", 600ms, 360, 0, {-1, -1, -1}, {}, notchesDown(3, 800ms, 800ms)},
    {"EightFastNotches", 600ms, 960, 0, std::vector(8, -1), {}, notchesDown(8, 30ms, 1000ms)},
    {"DownUpMidGlideThenUp", 0ms, -120, 0, {-1, 1, 1}, {}, kDownUpUp},
    {"AxisSwitchesMidGlide", 0ms, 240, 120, {-1, -1}, {1}, kDownRightDown},
    {"TwoMiceOneGlide", 600ms, 240, 0, {-1, -1}, {}, kOneGlideTwoMice},
    {"SixtyBursts", 600ms, 90 * 120, 0, std::vector(90, -1), {}, bursts(60)},
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

// Runs the row through the program's input path: plugs in its mice, each watched by the reader
// under test, waits out its pause and sends its steps, reading what came all the while.
class ScenarioTest : public GlideTest, public ::testing::WithParamInterface<Scenario> {
protected:
    virtual void watch(TestMouse& mouse) = 0;  // a mouse just plugged in, its clone ready
    virtual void pump() = 0;                   // reads what has come so far

    void run(Clock::duration span) {
        for (const auto end = Clock::now() + span; Clock::now() < end;) {
            std::this_thread::sleep_for(1ms);
            pump();
        }
    }
    // Returns when each step was sent.
    std::vector<Clock::time_point> play() {
        for (const Step& step : GetParam().steps)
            while (mice.size() <= step.mouse) watch(plugIn());
        run(GetParam().pause);
        std::vector<Clock::time_point> sent;
        for (const Step& step : GetParam().steps) {
            sent.push_back(Clock::now());
            mice[step.mouse].send(step.frame);
            run(step.then);
        }
        return sent;
    }
};

}  // namespace glidewheel::devicetest
