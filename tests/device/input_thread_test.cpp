// SPDX-License-Identifier: MIT

// What the program's input thread forwards through the clones while the main thread is busy and
// mice come and go: a program that carries the whole mouse must neither lose nor delay a mouse
// event, whatever the GUI is doing. The motion runs at 1000 Hz, whose 128-event kernel buffer
// lasts about 42 ms.

#include <sys/ioctl.h>

#include <algorithm>
#include <iostream>
#include <thread>

#include "tests/device/test_devices.h"

namespace glidewheel::devicetest {
namespace {

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
    MotionStream::Report busy = moving.stop("with the main thread busy");
    ASSERT_EQ(busy.relative[REL_WHEEL_HI_RES], 120)
        << "the notch did not glide out of the clone whole";
    EXPECT_LT(busy.wheelFrames.back(), blockEnd) << "the glide waited for the main thread";
}

TEST_F(ForwardingTest, PluggingAndUnpluggingFourMiceLosesNoMotion) {
    TestMouse& mouse = plugIn();
    MotionStream moving(mouse, cloneOf(mouse));
    std::this_thread::sleep_for(100ms);
    std::deque<TestMouse> others;
    static int plugged = 0;
    for (int i = 0; i < 4; ++i)
        others.emplace_back("glidewheel plugged mouse " + std::to_string(++plugged));
    const auto taken = [&](const TestMouse& other) { return !cloneOf(other).empty(); };
    const bool allTaken = waitUntil([&] { return std::ranges::all_of(others, taken); }, seldom);
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
    TestMouse& mouse = plugIn(TestMouse::Kind::withKeys);
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
