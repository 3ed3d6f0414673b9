// SPDX-License-Identifier: MIT

#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include <QApplication>

#include "app/app_delegate.h"
#include "platform/sim/sim_platform.h"
#include "tests/support/wait_until.h"

namespace glidewheel::testing {

// The sim backend, logging the trust and login-item status queries in order, each with what the
// delegate had built at that moment (a test may record more): the launch order shows in the log.
class RecordingBackend final : public platform::Trust, public platform::LoginItems {
public:
    using Failure = std::optional<std::string>;

    platform::sim::SimPlatform sim;
    mutable std::vector<std::string> log;
    const AppDelegate* observed = nullptr;

    void install() {
        platform::Services services = sim.services();
        services.trust = this;
        services.loginItems = this;
        platform::install(services);
    }

    bool isProcessTrusted() const override {
        record("trust");
        return sim.trust.trusted;
    }
    void promptForTrust() override { sim.trust.promptForTrust(); }
    platform::LoginItemStatus status() const override {
        record("loginItems.status");
        return sim.loginItems.currentStatus;
    }
    Failure registerMainApp() override { return sim.loginItems.registerMainApp(); }
    Failure unregisterMainApp() override { return sim.loginItems.unregisterMainApp(); }

    void record(const std::string& call) const {
        std::string entry = call;
        if (observed != nullptr && observed->popover() != nullptr) entry += " popover";
        if (observed != nullptr && observed->statusItem() != nullptr) entry += " icon";
        log.push_back(entry + " taps=" + std::to_string(sim.events.taps().size()));
    }
};

// The process's backend, installed before the first test: the shared settings and interceptor
// bind to it once and use it until the process ends, so it is never destroyed.
inline RecordingBackend& backend() {
    static auto* instance = new RecordingBackend;
    return *instance;
}

// One turn of the event loop: the pump for waitUntil when the work happens on this thread.
inline void processEvents() { QCoreApplication::processEvents(QEventLoop::AllEvents, 10); }

// A few turns of the event loop, deferred deletions included.
inline void settle() {
    for (int turn = 0; turn < 5; ++turn) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }
}

inline auto settingsWindowCount() {
    const QWidgetList windows = QApplication::topLevelWidgets();
    return std::count_if(windows.begin(), windows.end(),
                         [](QWidget* w) { return qobject_cast<SettingsWindow*>(w) != nullptr; });
}

}  // namespace glidewheel::testing
