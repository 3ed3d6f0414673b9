// SPDX-License-Identifier: MIT

#pragma once

#include <vector>

#include <QWidget>

#include "settings/observable.h"
#include "settings/preferences.h"

class QVBoxLayout;

namespace glidewheel {

// The General tab: the same five settings as the popup panel as a plain form, a button that
// opens the accessibility settings, and a warning while accessibility trust is missing. Every
// control is bound to `prefs`, which the view does not own and which must outlive it. Unlike
// the popup panel, nothing here dims while smoothing is off.
class GeneralView : public QWidget {
    Q_OBJECT
public:
    GeneralView(Preferences& prefs, bool hasPermission, QWidget* parent = nullptr);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void addSliders(QVBoxLayout& form, Preferences& prefs);
    QWidget* createAccessibilityButton();
    QWidget* createPermissionWarning();
    void refreshPermission();

    bool hasPermission_;
    QWidget* permissionWarning_ = nullptr;
    std::vector<Cancellable> bindings_;
};

}  // namespace glidewheel
