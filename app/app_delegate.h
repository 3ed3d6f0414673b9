// SPDX-License-Identifier: MIT

#pragma once

#include <memory>
#include <vector>

#include <QObject>
#include <QPointer>

#include "app/accessibility_help.h"
#include "app/popup_panel.h"
#include "app/settings_window.h"
#include "app/status_item.h"
#include "settings/observable.h"

class QCoreApplication;

namespace glidewheel {

// Wires the program together at launch and stops interception at exit; owns the tray icon, its
// popup, the settings window and the access help. The only place that starts and stops the
// interceptor. Uses the installed platform services and the shared Preferences and
// ScrollInterceptor. Main thread only.
class AppDelegate : public QObject {
    Q_OBJECT
public:
    // Touches neither the settings nor the interceptor.
    explicit AppDelegate(QObject* parent = nullptr);
    ~AppDelegate() override;

    // In order: the login-item state into launchAtLogin (the first use of the settings), the
    // popup, the tray icon, interception when enabled, the settings window on a later turn of
    // the main loop on the very first launch, and from then on starting and stopping
    // interception as isEnabled changes.
    void applicationDidFinishLaunching();
    void applicationWillTerminate();

    void setupPopover();
    void setupStatusItem();
    // Shows the popup below the tray icon, or closes it when shown.
    void togglePopover();
    // Brings the settings window forward, building it when there is none.
    void openSettings();
    // Forgets the settings window when `window` is it.
    void windowWillClose(QWidget* window);
    // How the access help grants access; until set, it offers only the terminal commands.
    void setAccessGrant(AccessGrant grant);
    // Started at login (--background): a missing tray then opens no window, as a person who
    // wants the settings runs the program again.
    void setStartedInBackground(bool inBackground) { startedInBackground_ = inBackground; }
    // Brings the access help forward, building it when there is none. The views' accessibility
    // buttons run it.
    void openAccessHelp();

    // Tells the user, through the tray (else on standard error), how to grant the access that
    // interception needs.
    void promptForInputAccess();
    // Access may have been granted or taken back: the views read it again, and interception
    // starts when it is switched on, not running and now has access. Runs when the application
    // becomes active and before the panel shows, and when the access help says access may have
    // changed.
    void recheckInputAccess();

    StatusItem* statusItem() const { return statusItem_.get(); }
    PopupPanel* popover() const { return popover_.get(); }
    SettingsWindow* settingsWindow() const { return settingsWindow_.get(); }

private:
    std::unique_ptr<StatusItem> statusItem_;
    std::unique_ptr<PopupPanel> popover_;
    std::unique_ptr<SettingsWindow> settingsWindow_;
    AccessGrant accessGrant_;
    QPointer<QWidget> accessHelp_;  // deletes itself when closed
    std::vector<Cancellable> cancellables_;
    bool startedInBackground_ = false;
};

// Hands the application's life cycle to the delegate: applicationDidFinishLaunching on the first
// turn of the event loop, applicationWillTerminate when the application is about to quit.
void attach(AppDelegate& delegate, QCoreApplication& application);

}  // namespace glidewheel
