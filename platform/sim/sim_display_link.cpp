#include "platform/sim/sim_display_link.h"

namespace glidewheel::platform::sim {

void ManualDisplayLink::setOutputCallback(DisplayLinkOutputCallback callback, void* userContext) {
    callback_ = callback;
    userContext_ = userContext;
}

bool ManualDisplayLink::tick() {
    if (!running_ || callback_ == nullptr) return false;
    ++frames_;
    const DisplayTimeStamp stamp{0, frames_};
    std::uint64_t flagsOut = 0;
    callback_(this, &stamp, &stamp, 0, &flagsOut, userContext_);
    return true;
}

ThreadedDisplayLink::ThreadedDisplayLink(std::chrono::microseconds period, StopHook onStop)
    : period_(period), onStop_(std::move(onStop)), thread_([this] { run(); }) {}

ThreadedDisplayLink::~ThreadedDisplayLink() {
    {
        std::unique_lock lock(mutex_);
        quit_ = true;
        running_ = false;
        changed_.notify_all();
    }
    thread_.join();
}

void ThreadedDisplayLink::setOutputCallback(DisplayLinkOutputCallback callback,
                                            void* userContext) {
    std::scoped_lock lock(mutex_);
    callback_ = callback;
    userContext_ = userContext;
}

bool ThreadedDisplayLink::isRunning() const {
    std::scoped_lock lock(mutex_);
    return running_;
}

void ThreadedDisplayLink::start() {
    std::scoped_lock lock(mutex_);
    running_ = true;
    changed_.notify_all();
}

void ThreadedDisplayLink::stop() {
    const bool ownThread = std::this_thread::get_id() == thread_.get_id();
    if (ownThread && onStop_) onStop_(true);
    std::unique_lock lock(mutex_);
    running_ = false;
    if (ownThread) return;
    if (onStop_) {
        lock.unlock();
        onStop_(false);
        lock.lock();
    }
    changed_.wait(lock, [this] { return !inCallback_; });
}

std::uint64_t ThreadedDisplayLink::frames() const {
    std::scoped_lock lock(mutex_);
    return frames_;
}

void ThreadedDisplayLink::run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return quit_ || (running_ && callback_ != nullptr); });
        if (quit_) return;
        const auto callback = callback_;
        void* const context = userContext_;
        const DisplayTimeStamp stamp{0, ++frames_};
        inCallback_ = true;
        lock.unlock();
        std::uint64_t flagsOut = 0;
        callback(this, &stamp, &stamp, 0, &flagsOut, context);
        lock.lock();
        inCallback_ = false;
        changed_.notify_all();
        if (period_.count() > 0) {
            // Between refreshes nothing is held, as with a real refresh timer.
            lock.unlock();
            std::this_thread::sleep_for(period_);
            lock.lock();
        }
    }
}

std::unique_ptr<DisplayLink> SimDisplayLinkService::createWithActiveDisplays() {
    ++creations_;
    if (failCreation_) return nullptr;
    if (threaded_) return std::make_unique<ThreadedDisplayLink>(period_, onThreadedStop_);
    auto link = std::make_unique<ManualDisplayLink>();
    lastManualLink_ = link.get();
    return link;
}

}  // namespace glidewheel::platform::sim
