// SPDX-License-Identifier: MIT

#pragma once

// Records what a display link's output callback sees, for tests of the links themselves.

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/display_link.h"

namespace glidewheel::testing {

// Each frame: when the callback ran, and the stamps the link gave it; and the link's thread, the
// one the callback runs on. The first frame can be made slow, and the link can be stopped from
// inside a given frame.
class FrameRecorder {
public:
    struct Frame {
        std::chrono::steady_clock::time_point called;  // CLOCK_MONOTONIC, the links' stamps' clock
        platform::DisplayTimeStamp now, output;        // the stamps the link gave it
    };

    explicit FrameRecorder(int stopAtFrame = 0,
                           std::chrono::milliseconds firstFrameDelay = std::chrono::milliseconds(0))
        : stopAt_(stopAtFrame), firstDelay_(firstFrameDelay) {}

    void attach(platform::DisplayLink& link) { link.setOutputCallback(&callback, this); }

    int count() const { return count_; }
    bool firstFrameDone() const { return firstDone_; }
    // The thread of the latest frame, by its id in /proc/self/task.
    std::string thread() const { return std::to_string(thread_.load()); }
    std::vector<Frame> frames() const {
        std::scoped_lock lock(mutex_);
        return frames_;
    }
    std::vector<std::chrono::steady_clock::time_point> calledTimes() const {
        std::vector<std::chrono::steady_clock::time_point> out;
        for (const Frame& frame : frames()) out.push_back(frame.called);
        return out;
    }

private:
    static platform::CVReturn callback(platform::DisplayLink* link,
                                       const platform::DisplayTimeStamp* now,
                                       const platform::DisplayTimeStamp* output, std::uint64_t,
                                       std::uint64_t*, void* context) {
        auto& self = *static_cast<FrameRecorder*>(context);
        // steady_clock is CLOCK_MONOTONIC on Linux, the clock of the links' stamps.
        const auto called = std::chrono::steady_clock::now();
        {
            std::scoped_lock lock(self.mutex_);
            self.frames_.push_back({called, *now, *output});
        }
        self.thread_ = ::gettid();
        const int frame = ++self.count_;
        if (frame == 1) {
            std::this_thread::sleep_for(self.firstDelay_);
            self.firstDone_ = true;
        }
        if (frame == self.stopAt_) link->stop();
        return platform::kCVReturnSuccess;
    }

    const int stopAt_;
    const std::chrono::milliseconds firstDelay_;
    mutable std::mutex mutex_;
    std::vector<Frame> frames_;
    std::atomic<pid_t> thread_{0};
    std::atomic<int> count_{0};
    std::atomic<bool> firstDone_{false};
};

}  // namespace glidewheel::testing
