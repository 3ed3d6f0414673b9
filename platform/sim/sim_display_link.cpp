// SPDX-License-Identifier: MIT

#include "platform/sim/sim_display_link.h"

#include <thread>

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
    : period_(period), onStop_(std::move(onStop)) {
    thread_.launch([this] { run(); });
}

void ThreadedDisplayLink::stop() {
    if (thread_.onOwnThread()) {
        if (onStop_) onStop_(true);
        thread_.markStopped();
        return;
    }
    thread_.markStopped();
    if (onStop_) onStop_(false);
    thread_.waitForCallback();
}

void ThreadedDisplayLink::run() {
    while (thread_.waitUntilRunning()) {
        thread_.post(0, 0);  // the sim keeps no clock
        // Between refreshes nothing is held, as with a real refresh timer.
        if (period_.count() > 0) std::this_thread::sleep_for(period_);
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
