#pragma once

#include <chrono>
#include <functional>

#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QWidget>

#include "app/settings_window.h"

namespace glidewheel::testing {

// Runs the event loop until `done` holds or `limit` has passed; returns whether it held.
inline bool processEventsUntil(const std::function<bool()>& done,
                               std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > limit.count()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

// A few turns of the event loop, deferred deletions included.
inline void settle() {
    for (int turn = 0; turn < 5; ++turn) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }
}

inline int settingsWindowCount() {
    int count = 0;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (qobject_cast<SettingsWindow*>(widget) != nullptr) ++count;
    }
    return count;
}

inline QAbstractButton* buttonTitled(QWidget& root, const QString& title) {
    for (auto* button : root.findChildren<QAbstractButton*>()) {
        if (button->text() == title) return button;
    }
    return nullptr;
}

}  // namespace glidewheel::testing
