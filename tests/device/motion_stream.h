// SPDX-License-Identifier: MIT

#pragma once

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/device/test_devices.h"

namespace glidewheel::devicetest {

// Moves a test mouse as a 1000 Hz mouse does, one motion frame a millisecond on a thread of its
// own, and reads the mouse's clone on another, as a desktop would. Each motion frame carries its
// number (REL_Y), so what the clone lost or delayed can be told frame by frame.
class MotionStream {
public:
    using Clock = std::chrono::steady_clock;  // CLOCK_MONOTONIC, as the clone reader asks

    struct Report {
        int sent = 0;
        int lost = 0;         // motion frames sent that never came out of the clone
        double maxGapMs = 0;  // longest time between two clone frames in a row
        // The longest of those gaps less the time between the same two frames when sent: what
        // the input path added, without the pauses of the whole VM that held the mouse up too.
        double maxAddedGapMs = 0;
        double delayP50Ms = 0;  // forwarding delay: sent to stamped on the clone
        double delayP99Ms = 0;
        int wheelUnits = 0;             // REL_WHEEL_HI_RES the clone received
        Clock::time_point lastWheel{};  // when the last of them was stamped
    };

    MotionStream(TestMouse& mouse, const std::string& cloneNode);
    ~MotionStream();  // stops, if stop() did not
    MotionStream(const MotionStream&) = delete;
    MotionStream& operator=(const MotionStream&) = delete;

    // Sends `frame` between two motion frames: the mouse's frames come from this stream alone.
    void sendBetween(Frame frame);
    // Stops moving, lets the clone's last frames arrive, and reports.
    Report stop();

private:
    void sendMotion(std::stop_token stop);
    void readClone(std::stop_token stop);

    TestMouse& mouse_;
    platform::linuxdesktop::UniqueFd clone_;
    std::mutex mutex_;
    std::vector<Frame> extra_;               // guarded by mutex_
    std::vector<Clock::time_point> sentAt_;  // by frame number - 1; sender only
    std::vector<std::pair<int, Clock::time_point>> motionReceived_;  // reader only
    std::vector<Clock::time_point> frameTimes_;                      // reader only
    Report wheel_;                                                   // reader only: wheel fields
    std::jthread reader_;
    std::jthread sender_;  // last: starts once everything is set up
};

// Keeps this thread busy for `duration`, as a main thread building a window does.
void spinFor(std::chrono::milliseconds duration);

}  // namespace glidewheel::devicetest
