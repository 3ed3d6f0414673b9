// SPDX-License-Identifier: MIT

// What the program's input thread forwards through the clones while the main thread is busy and
// mice come and go: a program that carries the whole mouse must neither lose nor delay a mouse
// event, whatever the GUI is doing. The motion runs at 1000 Hz, whose 128-event kernel buffer
// lasts about 42 ms.

#include <poll.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <iostream>
#include <mutex>
#include <optional>
#include <thread>

#include "tests/device/test_devices.h"

namespace glidewheel::devicetest {
namespace {

// The VM's own idle pauses reach about 35 ms under emulation; a stall of the input path as long
// as the kernel buffer would show well above this. Pauses of the whole VM hold the test mouse
// up too, so what is checked is the gap the input path added to the mouse's own.
constexpr double kLongestGapMs = 50;

// Moves a test mouse as a 1000 Hz mouse does, one motion frame a millisecond on a thread of its
// own, and reads the mouse's clone on another, as a desktop would. Each motion frame carries its
// number (REL_Y), so what the clone lost or delayed can be told frame by frame.
class MotionStream {
public:
    struct Report {
        int sent = 0;
        int lost = 0;  // motion frames sent that never came out of the clone
        // The longest time between two clone frames in a row less the time between the same
        // two frames when sent: what the input path added, without the pauses of the whole VM
        // that held the mouse up too.
        double maxAddedGapMs = 0;
        int wheelUnits = 0;             // REL_WHEEL_HI_RES the clone received
        Clock::time_point lastWheel{};  // when the last of them was stamped
    };

    MotionStream(TestMouse& mouse, const std::string& cloneNode)
        : mouse_(mouse),
          clone_(cloneNode),
          reader_([this](std::stop_token stop) { readClone(stop); }),
          sender_([this](std::stop_token stop) { sendMotion(stop); }) {}

    // Sends `frame` between two motion frames: the mouse's frames come from this stream alone.
    void sendBetween(Frame frame) {
        std::scoped_lock guard(mutex_);
        extra_.push_back(std::move(frame));
    }
    // Stops moving, lets the clone's last frames arrive, and reports, printed as `what`: no
    // motion frame may be lost or held up on the way.
    Report stop(const char* what);

private:
    void sendMotion(std::stop_token stop);
    void readClone(std::stop_token stop);

    TestMouse& mouse_;
    EventReader clone_;
    std::mutex mutex_;
    std::vector<Frame> extra_;               // guarded by mutex_
    std::vector<Clock::time_point> sentAt_;  // by frame number - 1; sender only
    std::vector<TimedFrame> received_;       // reader only
    std::jthread reader_;
    std::jthread sender_;  // last: starts once everything is set up
};

// Absolute deadlines a millisecond apart. When the whole VM was held up (its emulator waits for
// the host's CPU), the slots it missed are skipped, not sent in a burst: a mouse reports once
// per poll of its bus, whatever it has gathered, and a burst would overflow the kernel buffer
// however fast the tap reads.
void MotionStream::sendMotion(std::stop_token stop) {
    for (auto next = Clock::now(); !stop.stop_requested();) {
        std::this_thread::sleep_until(next += 1ms);
        next = std::max(next, Clock::now() - 1ms);
        const int number = static_cast<int>(sentAt_.size()) + 1;
        sentAt_.push_back(Clock::now());
        mouse_.send({{EV_REL, REL_X, 1}, {EV_REL, REL_Y, number}});
        std::vector<Frame> extra;
        {
            std::scoped_lock guard(mutex_);
            extra.swap(extra_);
        }
        for (Frame& frame : extra) mouse_.send(std::move(frame));
    }
}

void MotionStream::readClone(std::stop_token stop) {
    while (!stop.stop_requested()) {
        pollfd ready{clone_.fd(), POLLIN, 0};
        poll(&ready, 1, 20);
        for (TimedFrame& frame : clone_.readFrames()) received_.push_back(std::move(frame));
    }
}

MotionStream::Report MotionStream::stop(const char* what) {
    sender_.request_stop();
    sender_.join();
    std::this_thread::sleep_for(300ms);  // the last frames cross the tap
    reader_.request_stop();
    reader_.join();

    Report report;
    report.sent = report.lost = static_cast<int>(sentAt_.size());
    std::vector<bool> seen(sentAt_.size() + 1);
    std::optional<std::pair<int, Clock::time_point>> before;  // the last motion frame received
    std::vector<double> delaysMs;  // from each motion frame sent until its copy's time stamp
    for (const TimedFrame& frame : received_) {
        int number = 0;  // the frame's number, 0 if it has none (numbers start at 1)
        for (const InputEvent& event : frame.events) {
            if (event.code == REL_Y) number = event.value;
            if (event.code != REL_WHEEL_HI_RES) continue;
            report.wheelUnits += event.value;
            report.lastWheel = frame.at;
        }
        if (number < 1 || number > report.sent) continue;
        if (!seen[number]) delaysMs.push_back(Milliseconds(frame.at - sentAt_[number - 1]).count());
        report.lost -= !seen[number];
        seen[number] = true;
        if (before && number > before->first) {
            const auto sentGap = sentAt_[number - 1] - sentAt_[before->first - 1];
            const Milliseconds added = frame.at - before->second - sentGap;
            report.maxAddedGapMs = std::max(report.maxAddedGapMs, added.count());
        }
        before = {number, frame.at};
    }
    std::sort(delaysMs.begin(), delaysMs.end());
    const auto percentile = [&](double p) {
        return delaysMs.empty() ? 0.0
                                : delaysMs[static_cast<std::size_t>(p * (delaysMs.size() - 1))];
    };
    std::cout << "forwarding " << what << ": " << report.sent << " frames, " << report.lost
              << " lost, delay p50 " << percentile(0.5) << " ms, p99 " << percentile(0.99)
              << " ms, the longest gap added on the way " << report.maxAddedGapMs << " ms\n";
    EXPECT_EQ(report.lost, 0);
    EXPECT_LT(report.maxAddedGapMs, kLongestGapMs);
    return report;
}

// Keeps this thread busy for `duration`, as a main thread building a window does.
void spinFor(std::chrono::milliseconds duration) {
    for (const auto end = Clock::now() + duration; Clock::now() < end;) {
    }
}

using ForwardingTest = GlideTest;

// This (main) thread busy for 2 s, a notch in the middle of it.
TEST_F(ForwardingTest, ABusyMainThreadNeitherLosesNorDelaysMotionAndANotchStillGlides) {
    TestMouse& mouse = plugIn();
    MotionStream moving(mouse, cloneOf(mouse));
    std::this_thread::sleep_for(100ms);
    spinFor(500ms);
    moving.sendBetween(kNotchUp);
    spinFor(1500ms);
    const auto blockEnd = Clock::now();
    const MotionStream::Report busy = moving.stop("with the main thread busy");
    EXPECT_EQ(busy.wheelUnits, 120) << "the notch did not glide out of the clone whole";
    EXPECT_LT(busy.lastWheel, blockEnd) << "the glide waited for the main thread";
}

TEST_F(ForwardingTest, PluggingAndUnpluggingFourMiceLosesNoMotion) {
    TestMouse& mouse = plugIn();
    MotionStream moving(mouse, cloneOf(mouse));
    std::this_thread::sleep_for(100ms);
    std::deque<TestMouse> others;
    static int plugged = 0;
    for (int i = 0; i < 4; ++i)
        others.emplace_back("glidewheel plugged mouse " + std::to_string(++plugged));
    // Each look at the taken mice runs on the input thread under measurement: only every 5 ms.
    const auto seldom = [] { std::this_thread::sleep_for(5ms); };
    const auto taken = [&](const TestMouse& other) { return !cloneOf(other).empty(); };
    const bool allTaken =
        waitUntil([&] { return std::all_of(others.begin(), others.end(), taken); }, seldom);
    others.clear();
    const bool allDropped = waitUntil([&] { return takenCount() == 1; }, seldom);
    std::this_thread::sleep_for(100ms);
    moving.stop("while four mice come and go");
    EXPECT_TRUE(allTaken && allDropped);
}

// Busy loops on every CPU, as a build or a game runs them: a mouse plugged in is taken, and its
// clone is gone once it is unplugged, each within a second.
TEST_F(ForwardingTest, MiceAreTakenAndTheirClonesGoWithinASecondWhileEveryCpuIsBusy) {
    std::vector<std::jthread> busy;
    for (unsigned cpu = 0; cpu < std::max(2u, std::thread::hardware_concurrency()); ++cpu)
        busy.emplace_back([](std::stop_token stop) {
            while (!stop.stop_requested()) {
            }
        });
    const auto plugged = Clock::now();
    const std::string clone = cloneOf(plugIn());
    const Milliseconds taken = Clock::now() - plugged;
    mice.clear();
    const auto unplugged = Clock::now();
    ASSERT_TRUE(waitUntil([&] { return !std::filesystem::exists(clone); }));
    const Milliseconds gone = Clock::now() - unplugged;
    std::cout << "with every CPU busy: a mouse taken in " << taken.count() << " ms, its clone gone "
              << gone.count() << " ms after it\n";
    EXPECT_LT(taken, 1s);
    EXPECT_LT(gone, 1s);
}

TEST_F(ForwardingTest, AKeyHeldOnAMouseRepeatsOnTheCloneNoMoreThanOnTheMouse) {
    TestMouse& mouse = plugIn(true);
    EventReader clone(cloneOf(mouse));
    unsigned long types = 0;
    ioctl(clone.fd(), EVIOCGBIT(0, sizeof types), &types);
    EXPECT_FALSE((types >> EV_REP) & 1) << "the kernel would repeat on the clone too";
    const auto pressed = Clock::now();
    mouse.send({{EV_KEY, KEY_VOLUMEUP, 1}});
    std::this_thread::sleep_for(700ms);
    const auto held = Clock::now() - pressed;
    mouse.send({{EV_KEY, KEY_VOLUMEUP, 0}});
    std::this_thread::sleep_for(200ms);
    // The kernel repeats the mouse's key after the delay, then every period, while it is held.
    const auto afterDelay = held - TestMouse::kRepeatDelay;
    const int mouseRepeats =
        afterDelay < 0ms ? 0 : static_cast<int>(afterDelay / TestMouse::kRepeatPeriod) + 1;
    int presses = 0, cloneRepeats = 0;
    for (const TimedFrame& frame : clone.readFrames())
        for (const InputEvent& event : frame.events) {
            presses += event.code == KEY_VOLUMEUP && event.value == 1;
            cloneRepeats += event.code == KEY_VOLUMEUP && event.value == 2;
        }
    EXPECT_GT(cloneRepeats, 0) << "the mouse's repeats are forwarded";
    EXPECT_LE(cloneRepeats, mouseRepeats);
    EXPECT_EQ(presses, 1);
}

}  // namespace
}  // namespace glidewheel::devicetest
