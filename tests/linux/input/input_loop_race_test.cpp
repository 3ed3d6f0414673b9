// SPDX-License-Identifier: MIT

// The input thread's loop against the main thread's start, stop, enable and disable, frames
// arriving on a pipe, and posts from a third thread; and the settings the callback reads
// against the main thread writing them. Run under ThreadSanitizer: the counters below are
// plain ints, so a handler running when the main thread believes it stopped is a reported race.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/linux/input/input_loop.h"
#include "platform/sim/sim_system.h"
#include "settings/preferences.h"

namespace glidewheel::platform::linuxdesktop {
namespace {

using namespace std::chrono_literals;

// A pipe standing in for a mouse: a thread writes a byte per frame, as fast as it can.
struct PipeMouse {
    int fds[2];
    std::jthread writer;

    PipeMouse() {
        if (::pipe2(fds, O_NONBLOCK | O_CLOEXEC) != 0) throw std::runtime_error("pipe2");
        writer = std::jthread([this](std::stop_token stop) {
            while (!stop.stop_requested())
                if (::write(fds[1], "f", 1) != 1) std::this_thread::yield();
        });
    }
    ~PipeMouse() {
        writer.request_stop();
        writer.join();
        ::close(fds[0]), ::close(fds[1]);
    }
    int readable() const { return fds[0]; }
};

// What a tap does with the loop: a watch per mouse while started, on while enabled, reading
// frames and handing them to a callback; the state it shares with the main thread is plain.
struct LoopTap {
    InputLoop& loop;
    PipeMouse& mouse;
    std::unique_ptr<InputLoop::Watch> watch;  // input thread only
    int framesHandled = 0;                    // by the callback, on the input thread
    int postsRun = 0;                         // by posted tasks, on the input thread

    void start() {
        loop.runAndWait([&] {
            watch = loop.watchReadable(mouse.readable(), [&] {
                char frames[64];
                const ssize_t read = ::read(mouse.readable(), frames, sizeof frames);
                if (read > 0) framesHandled += static_cast<int>(read);  // the callback
            });
        });
    }
    void setEnabled(bool enabled) {
        loop.runAndWait([&] { watch->setEnabled(enabled); });
    }
    void stop() {
        loop.runAndWait([&] { watch.reset(); });
    }
};

TEST(InputLoopRace, NoCallbackRunsOnceStopOrDisableHasReturned) {
    InputLoop loop;
    PipeMouse mouse;
    LoopTap tap{loop, mouse, nullptr};
    // Posts and deadline tasks from another thread all along, as a glide's settling would.
    std::jthread poster([&](std::stop_token stop) {
        for (int i = 0; !stop.stop_requested(); ++i) {
            if (i % 2) {
                loop.post([&] { ++tap.postsRun; });
            } else {
                loop.postAt(InputLoop::Clock::now() + std::chrono::microseconds(i % 500),
                            [&] { ++tap.postsRun; });
            }
            std::this_thread::sleep_for(50us);
        }
    });

    for (int round = 0; round < 40; ++round) {
        tap.start();
        std::this_thread::sleep_for(std::chrono::microseconds(200 + round * 13));
        tap.setEnabled(false);
        const int whileDisabled = tap.framesHandled;  // raced if a callback still ran
        std::this_thread::sleep_for(200us);
        ASSERT_EQ(tap.framesHandled, whileDisabled) << "a frame was handled while disabled";
        tap.setEnabled(true);
        std::this_thread::sleep_for(std::chrono::microseconds(100 + round * 7));
        tap.stop();
        const int atStop = tap.framesHandled;
        std::this_thread::sleep_for(200us);
        ASSERT_EQ(tap.framesHandled, atStop) << "a frame was handled after the stop";
    }
    EXPECT_GT(tap.framesHandled, 0);
    poster.request_stop();
    poster.join();
    int posts = 0;
    loop.runAndWait([&] { posts = tap.postsRun; });
    EXPECT_GT(posts, 0);
}

// The callback reads four settings for every wheel event while the main thread assigns them.
TEST(InputLoopRace, SettingsReadOnTheInputThreadWhileTheMainThreadWritesThem) {
    sim::SimUserDefaults defaults;
    sim::SimLoginItems loginItems;
    Preferences preferences(defaults, loginItems);
    InputLoop loop;
    std::atomic<bool> reading = true;
    double seenSpeed = 0;  // input thread only
    std::function<void()> readSettings = [&] {
        if (preferences.isEnabled() && !preferences.reverseScroll())
            seenSpeed = preferences.scrollSpeed() * preferences.smoothness();
        if (reading) loop.post(readSettings);
    };
    loop.post(readSettings);
    for (int i = 0; i < 2000; ++i) {
        preferences.setScrollSpeed(1.0 + i % 7);
        preferences.setSmoothness((i % 10) / 10.0);
        preferences.setIsEnabled(i % 3 != 0);
        preferences.setReverseScroll(i % 5 == 0);
    }
    reading = false;
    loop.runAndWait([] {});
    loop.runAndWait([&] { EXPECT_GE(seenSpeed, 0.0); });
}

}  // namespace
}  // namespace glidewheel::platform::linuxdesktop
