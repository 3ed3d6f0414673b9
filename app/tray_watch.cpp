// SPDX-License-Identifier: MIT

#include "app/tray_watch.h"

#include <utility>

namespace glidewheel {

TrayWatch::TrayWatch(std::function<bool()> isTrayAvailable, std::chrono::milliseconds pollInterval,
                     std::chrono::milliseconds patience, QObject* parent)
    : QObject(parent), isTrayAvailable_(std::move(isTrayAvailable)), patience_(patience) {
    timer_.setInterval(pollInterval);
    connect(&timer_, &QTimer::timeout, this, &TrayWatch::poll);
}

void TrayWatch::start() {
    started_ = std::chrono::steady_clock::now();
    reportedMissing_ = false;
    timer_.start();
}

void TrayWatch::poll() {
    if (isTrayAvailable_()) {
        timer_.stop();
        emit appeared();
        return;
    }
    if (!reportedMissing_ && std::chrono::steady_clock::now() - started_ >= patience_) {
        reportedMissing_ = true;
        emit stillMissing();
    }
}

}  // namespace glidewheel
