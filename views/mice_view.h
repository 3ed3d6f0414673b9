// SPDX-License-Identifier: MIT

#pragma once

#include <string>

#include <QWidget>

#include "settings/observable.h"
#include "settings/preferences.h"

class QScrollArea;

namespace glidewheel {

// The Mice tab: each wheel mouse seen, present or not, by name and vendor:product, with a
// switch that says whether its wheel glides; a line where none has been seen, and one on a
// desktop where the mice are left as they are (`leftAloneOn`, its name) that says why. Follows
// the settings' list of mice, which the view does not own and which must outlive it.
class MiceView : public QWidget {
    Q_OBJECT
public:
    explicit MiceView(Preferences& prefs, const std::string& leftAloneOn = {},
                      QWidget* parent = nullptr);

private:
    void showMice();
    QWidget* createRows();
    void addMouseRow(QWidget& rows, const platform::KnownWheelMouse& mouse);

    Preferences& prefs_;
    const QString leftAloneOn_;
    QScrollArea* scroll_;
    Cancellable changes_;
};

}  // namespace glidewheel
