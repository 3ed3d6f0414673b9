// SPDX-License-Identifier: MIT

#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <utility>

#include "platform/display_link.h"
#include "platform/display_link_thread.h"

namespace glidewheel::platform::sim {

// A display link ticked by hand: each tick() is one display refresh, run on the caller's thread.
class ManualDisplayLink final : public DisplayLink {
public:
    void setOutputCallback(DisplayLinkOutputCallback callback, void* userContext) override;
    bool isRunning() const override { return running_; }
    void start() override { running_ = true; }
    void stop() override {
        if (onStop) onStop();
        running_ = false;
    }

    // One refresh: calls the output callback if the link runs. Returns whether it did.
    bool tick();
    std::uint64_t frames() const { return frames_; }

    // Called at every stop(), before the link stops: in the frame that ends a glide, that is
    // between the frame's decision and the glide being cleared.
    std::function<void()> onStop;

private:
    DisplayLinkOutputCallback callback_ = nullptr;
    void* userContext_ = nullptr;
    bool running_ = false;
    std::uint64_t frames_ = 0;
};

// Called by a threaded link's stop(): from its own thread (`ownThread` true) before it marks the
// link stopped; from outside after it has, before it waits for a frame in progress. A race test
// can hold a frame there that is ending its glide.
using StopHook = std::function<void(bool ownThread)>;

// A display link on a thread of its own that refreshes every `period` while running, for tests
// that race the frame step against the main thread. Keeps the DisplayLink contract: stop() from
// outside waits for a running callback; from inside it does not.
class ThreadedDisplayLink final : public ThreadDrivenDisplayLink {
public:
    explicit ThreadedDisplayLink(std::chrono::microseconds period, StopHook onStop = {});
    ~ThreadedDisplayLink() override { thread_.shutDown(); }

    void stop() override;

    std::uint64_t frames() const { return thread_.frames(); }

private:
    void run();

    const std::chrono::microseconds period_;
    const StopHook onStop_;
};

// Makes manual links by default, or threaded ones; can be told to fail.
class SimDisplayLinkService final : public DisplayLinkService {
public:
    std::unique_ptr<DisplayLink> createWithActiveDisplays() override;

    void setThreaded(std::chrono::microseconds period, StopHook onStop = {}) {
        threaded_ = true;
        period_ = period;
        onThreadedStop_ = std::move(onStop);
    }
    void setFailCreation(bool fail) { failCreation_ = fail; }
    int creations() const { return creations_; }

    // The last manual link made (none when threaded); it lives as long as its owner.
    ManualDisplayLink* lastManualLink() const { return lastManualLink_; }

private:
    bool threaded_ = false;
    std::chrono::microseconds period_{0};
    StopHook onThreadedStop_;
    bool failCreation_ = false;
    int creations_ = 0;
    ManualDisplayLink* lastManualLink_ = nullptr;
};

}  // namespace glidewheel::platform::sim
