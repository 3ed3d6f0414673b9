// SPDX-License-Identifier: MIT

#pragma once

#include <QWidget>

#include "platform/pointer_application.h"
#include "settings/observable.h"
#include "settings/preferences.h"

class QLabel;
class QPushButton;
class QScrollArea;
class QTimer;

namespace glidewheel {

// The Applications tab: the applications that keep the raw wheel, each with a button that
// removes it, and a button that adds the application under the pointer after a countdown, so
// that there is time to move the pointer onto it. Where the desktop does not tell which
// application is under the pointer, a line says the list does not apply. Follows the settings'
// list; the settings and the lookup must outlive the view.
class ApplicationsView : public QWidget {
    Q_OBJECT
public:
    // Seconds between the click and the look at what is under the pointer.
    static constexpr int kCountdownSeconds = 3;

    ApplicationsView(Preferences& prefs, platform::PointerApplication& pointer,
                     QWidget* parent = nullptr);

private:
    void showApplications();
    QWidget* createRows();
    void addApplicationRow(QWidget& rows, const QString& name);
    QWidget* createAddButton();
    void countDown();

    Preferences& prefs_;
    platform::PointerApplication& pointer_;
    QScrollArea* scroll_;
    QPushButton* add_ = nullptr;
    QLabel* outcome_ = nullptr;  // what the last countdown found
    QTimer* countdown_;
    int secondsLeft_ = 0;
    Cancellable changes_;
};

}  // namespace glidewheel
