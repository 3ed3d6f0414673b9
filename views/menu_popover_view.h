// SPDX-License-Identifier: MIT

#pragma once

#include <functional>
#include <vector>

#include <QWidget>

#include "settings/observable.h"
#include "settings/preferences.h"

class QGraphicsOpacityEffect;
class QLabel;

namespace glidewheel {

// The tray popup's content: the master switch, the speed, smoothness and acceleration sliders,
// the direction and login toggles, a warning while accessibility trust is missing, and the
// footer with the settings and quit buttons. Every control is bound to `prefs`, which the view does
// not own and which must outlive it. While smoothing is off the settings section is dimmed and
// disabled; the header switch stays live. Its buttons run the given actions. Sets no size of its
// own.
class MenuPopoverView : public QWidget {
    Q_OBJECT
public:
    MenuPopoverView(Preferences& prefs, bool hasPermission, std::function<void()> onOpenSettings,
                    std::function<void()> onOpenAccessibilitySettings, std::function<void()> onQuit,
                    QWidget* parent = nullptr);

protected:
    void showEvent(QShowEvent* event) override;

private:
    QWidget* createHeader();
    QWidget* createPermissionWarning();
    QWidget* createSettingsSection();
    QWidget* createFooter();
    void refreshPermission();
    void showPermission();
    void showIsEnabled(bool isEnabled);

    Preferences& prefs_;
    bool hasPermission_;
    std::function<void()> onOpenSettings_;
    std::function<void()> onOpenAccessibilitySettings_;
    std::function<void()> onQuit_;

    QWidget* permissionWarning_ = nullptr;
    QWidget* permissionDivider_ = nullptr;
    QWidget* settingsSection_ = nullptr;
    QGraphicsOpacityEffect* sectionOpacity_ = nullptr;
    QLabel* version_ = nullptr;
    std::vector<Cancellable> bindings_;
};

}  // namespace glidewheel
