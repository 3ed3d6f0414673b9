// SPDX-License-Identifier: MIT

#pragma once

#include <csignal>
#include <initializer_list>
#include <memory>
#include <vector>

#include <QObject>
#include <QSocketNotifier>

#include "platform/linux/base/unique_fd.h"

namespace glidewheel {

// Turns the given signals (SIGTERM at logout, SIGINT for Ctrl+C in a terminal) into
// QCoreApplication::quit(), so that the application quits the normal way and interception is
// stopped on the way out. The handler only writes a byte to a socket pair; the main loop reads it.
// A second signal of the same kind takes its default course, so a program that hangs while
// quitting can still be stopped. One instance per process; main thread only.
class QuitOnSignals : public QObject {
    Q_OBJECT
public:
    explicit QuitOnSignals(std::initializer_list<int> signalNumbers, QObject* parent = nullptr);
    // Puts the earlier handlers back.
    ~QuitOnSignals() override;

private:
    struct Previous {
        int signalNumber;
        struct sigaction action;
    };

    platform::linuxdesktop::UniqueFd readEnd_;
    platform::linuxdesktop::UniqueFd writeEnd_;
    std::unique_ptr<QSocketNotifier> notifier_;  // goes before the descriptor it watches
    std::vector<Previous> previous_;
};

}  // namespace glidewheel
