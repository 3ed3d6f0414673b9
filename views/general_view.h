// SPDX-License-Identifier: MIT

#pragma once

#include <functional>
#include <vector>

#include <QWidget>

#include "settings/observable.h"
#include "settings/preferences.h"

class QVBoxLayout;

namespace glidewheel {

// The General tab: the same five settings as the popup panel as a plain form, a button that
// runs `onOpenAccessibilitySettings`, and a warning while accessibility trust is missing. Every
// control is bound to `prefs`, which the view does not own and which must outlive it. Unlike
// the popup panel, nothing here dims while smoothing is off.
class GeneralView : public QWidget {
    Q_OBJECT
public:
    GeneralView(Preferences& prefs, bool hasPermission,
                std::function<void()> onOpenAccessibilitySettings, QWidget* parent = nullptr);

protected:
    void showEvent(QShowEvent* event) override;

private:
    QVBoxLayout* createCentredForm();
    void addSettings(QVBoxLayout& form, Preferences& prefs);
    void addSliders(QVBoxLayout& form, Preferences& prefs);
    QWidget* createAccessibilityButton(std::function<void()> onOpenAccessibilitySettings);
    QWidget* createPermissionWarning();
    void refreshPermission();

    bool hasPermission_;
    QWidget* permissionWarning_ = nullptr;
    std::vector<Cancellable> bindings_;
};

}  // namespace glidewheel
