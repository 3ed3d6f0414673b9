// SPDX-License-Identifier: MIT

#include "platform/display_link_thread.h"

#include <utility>

namespace glidewheel::platform {

void DisplayLinkThread::launch(std::function<void()> body) {
    thread_ = std::thread(std::move(body));
}

void DisplayLinkThread::shutDown() {
    if (!thread_.joinable()) return;
    {
        std::scoped_lock lock(mutex_);
        quit_ = true;
        running_ = false;
    }
    changed_.notify_all();
    thread_.join();
}

void DisplayLinkThread::setOutputCallback(DisplayLinkOutputCallback callback, void* userContext) {
    std::scoped_lock lock(mutex_);
    callback_ = callback;
    userContext_ = userContext;
}

bool DisplayLinkThread::isRunning() const {
    std::scoped_lock lock(mutex_);
    return running_;
}

void DisplayLinkThread::start() {
    {
        std::scoped_lock lock(mutex_);
        running_ = true;
    }
    changed_.notify_all();
}

void DisplayLinkThread::stop() {
    markStopped();
    // The link's own thread is the one running the callback: it cannot wait for itself.
    if (!onOwnThread()) waitForCallback();
}

void DisplayLinkThread::markStopped() {
    std::scoped_lock lock(mutex_);
    running_ = false;
}

void DisplayLinkThread::waitForCallback() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return !inCallback_; });
}

bool DisplayLinkThread::waitUntilRunning() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return quit_ || runnable(); });
    return !quit_;
}

bool DisplayLinkThread::post(std::int64_t nowNs, std::int64_t outputNs) {
    std::unique_lock lock(mutex_);
    if (quit_ || !runnable()) return false;
    const auto callback = callback_;
    void* const context = userContext_;
    const DisplayTimeStamp now{nowNs, ++frames_};
    const DisplayTimeStamp output{outputNs, frames_ + 1};
    inCallback_ = true;
    lock.unlock();
    std::uint64_t flagsOut = 0;
    callback(&link_, &now, &output, 0, &flagsOut, context);
    lock.lock();
    inCallback_ = false;
    changed_.notify_all();
    return !quit_ && runnable();
}

std::uint64_t DisplayLinkThread::frames() const {
    std::scoped_lock lock(mutex_);
    return frames_;
}

}  // namespace glidewheel::platform
