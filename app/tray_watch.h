// SPDX-License-Identifier: MIT

#pragma once

#include <chrono>
#include <functional>

#include <QObject>
#include <QTimer>

namespace glidewheel {

// Waits for a system tray to appear: a program started at login may run before the panel that
// hosts its icon, and some desktops have no tray at all. Polls `isTrayAvailable` every
// `pollInterval` from start(); says appeared() once when a tray is found, and stillMissing()
// once when there is none after `patience`, then keeps looking.
class TrayWatch : public QObject {
    Q_OBJECT
public:
    TrayWatch(std::function<bool()> isTrayAvailable, std::chrono::milliseconds pollInterval,
              std::chrono::milliseconds patience, QObject* parent = nullptr);

    void start();

signals:
    void appeared();
    void stillMissing();

private:
    void poll();

    std::function<bool()> isTrayAvailable_;
    std::chrono::milliseconds patience_;
    std::chrono::steady_clock::time_point started_;
    bool reportedMissing_ = false;
    QTimer timer_;
};

}  // namespace glidewheel
