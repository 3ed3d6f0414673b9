// SPDX-License-Identifier: MIT

#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

#include "platform/display_link.h"

namespace glidewheel::platform {

// The thread and the bookkeeping that every threaded display link shares: the output callback,
// the running flag, and a stop that waits for a callback in progress unless it is made from
// inside that callback. The owning link supplies the thread's body, which decides when a frame
// is due (a timer, a vertical blank) and hands each one to post().
class DisplayLinkThread {
public:
    explicit DisplayLinkThread(DisplayLink& link) : link_(link) {}
    // Ends the thread if the owner has not done so yet.
    ~DisplayLinkThread() { shutDown(); }

    DisplayLinkThread(const DisplayLinkThread&) = delete;
    DisplayLinkThread& operator=(const DisplayLinkThread&) = delete;

    // Starts the thread running `body`: once, when everything the body uses is set up. The new
    // thread inherits the caller's signal mask. Throws std::system_error when it cannot start.
    void launch(std::function<void()> body);
    // Stops the link and ends the thread: waitUntilRunning() and post() return false from now
    // on, and the call returns once the body has returned. The owner calls it before anything
    // the body uses goes away.
    void shutDown();

    void setOutputCallback(DisplayLinkOutputCallback callback, void* userContext);
    bool isRunning() const;
    void start();
    // markStopped(), then, unless called from the link's own thread, waitForCallback().
    void stop();

    bool onOwnThread() const { return std::this_thread::get_id() == thread_.get_id(); }
    void markStopped();
    // Returns once no callback is running. Never from the link's own thread.
    void waitForCallback();

    // For the body, on the link's thread.
    // Parks without wakeups until the link runs with a callback; false when shutting down.
    bool waitUntilRunning();
    // One frame: calls the callback with `nowNs` and `outputNs` (monotonic clock) if the link
    // runs. False when it did not run, or was stopped by this frame: time for the body to park.
    bool post(std::int64_t nowNs, std::int64_t outputNs);
    std::uint64_t frames() const;

private:
    bool runnable() const { return running_ && callback_ != nullptr; }

    DisplayLink& link_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    DisplayLinkOutputCallback callback_ = nullptr;
    void* userContext_ = nullptr;
    bool running_ = false;
    bool inCallback_ = false;
    bool quit_ = false;
    std::uint64_t frames_ = 0;
    std::thread thread_;
};

// A display link driven by a DisplayLinkThread of its own: the link's operations are the
// thread's. A subclass launches the thread with its body, and shuts it down in its destructor,
// before the members the body uses go.
class ThreadDrivenDisplayLink : public DisplayLink {
public:
    void setOutputCallback(DisplayLinkOutputCallback callback, void* userContext) override {
        thread_.setOutputCallback(callback, userContext);
    }
    bool isRunning() const override { return thread_.isRunning(); }
    void start() override { thread_.start(); }
    void stop() override { thread_.stop(); }

protected:
    DisplayLinkThread thread_{*this};
};

}  // namespace glidewheel::platform
