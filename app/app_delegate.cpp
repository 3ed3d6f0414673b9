// SPDX-License-Identifier: MIT

#include "app/app_delegate.h"

#include <iostream>
#include <utility>

#include <QGuiApplication>
#include <QPointer>
#include <QTimer>

#include "engine/scroll_interceptor.h"
#include "platform/services.h"
#include "settings/preferences.h"
#include "views/menu_popover_view.h"
#include "views/presentation.h"

namespace glidewheel {

namespace {

constexpr const char* kHasLaunchedBefore = "hasLaunchedBefore";
constexpr const char* kNoTrayMessage =
    "glidewheel: no system tray was found; the settings window opens instead.";
constexpr const char* kNoTrayInBackgroundMessage =
    "glidewheel: no system tray was found; running in the background (run glidewheel again to "
    "open its settings).";

// Whether windows can be seen at all (not so on the offscreen and minimal platforms).
bool hasVisibleScreen() {
    const QString platform = QGuiApplication::platformName();
    return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}

}  // namespace

AppDelegate::AppDelegate(QObject* parent) : QObject(parent) {}

AppDelegate::~AppDelegate() {
    delete accessHelp_.data();  // a top-level window has no parent to take it along
}

void AppDelegate::applicationDidFinishLaunching() {
    const platform::Services& services = platform::services();

    Preferences& preferences = Preferences::shared();  // first use: loads the settings
    preferences.setLaunchAtLogin(services.loginItems->status() ==
                                 platform::LoginItemStatus::enabled);

    setupPopover();
    setupStatusItem();

    if (preferences.isEnabled()) ScrollInterceptor::shared().start();

    platform::UserDefaults& defaults = *services.userDefaults;
    if (!defaults.boolForKey(kHasLaunchedBefore)) {
        defaults.setBool(kHasLaunchedBefore, true);
        // Runs after this handler has returned; the context object drops it if the delegate
        // is gone by then.
        QTimer::singleShot(0, this, &AppDelegate::openSettings);
    }

    connect(qApp, &QGuiApplication::applicationStateChanged, this,
            [this](Qt::ApplicationState state) {
                if (state == Qt::ApplicationActive) recheckInputAccess();
            });

    cancellables_.push_back(
        preferences.isEnabledStream().dropFirst().sink([](const bool& isEnabled) {
            if (isEnabled) {
                ScrollInterceptor::shared().start();
            } else {
                ScrollInterceptor::shared().stop();
            }
        }));
}

void AppDelegate::applicationWillTerminate() { ScrollInterceptor::shared().stop(); }

void AppDelegate::setupPopover() {
    QPointer<AppDelegate> weakSelf(this);
    auto* view = new MenuPopoverView(
        Preferences::shared(), ScrollInterceptor::shared().hasAccessibilityPermission(),
        [weakSelf] {
            if (!weakSelf) return;
            if (weakSelf->popover_) weakSelf->popover_->close();
            weakSelf->openSettings();
        },
        [weakSelf] {
            if (weakSelf) weakSelf->openAccessHelp();
        },
        [] { QCoreApplication::quit(); });
    popover_ = std::make_unique<PopupPanel>(view);
}

void AppDelegate::setupStatusItem() {
    statusItem_ = std::make_unique<StatusItem>(statusItemImage(), QStringLiteral("Glidewheel"));
    connect(statusItem_.get(), &StatusItem::activated, this, &AppDelegate::togglePopover);
    // Never run invisibly with no way in: without a tray, the settings window is the way in,
    // or, at login, running the program again, which opens it. Without the access it needs, the
    // window opens at login too: the program would otherwise do nothing, unseen.
    connect(statusItem_.get(), &StatusItem::trayMissing, this, [this] {
        if (!hasVisibleScreen()) return;
        const bool unseen =
            startedInBackground_ && ScrollInterceptor::shared().hasAccessibilityPermission();
        std::cerr << (unseen ? kNoTrayInBackgroundMessage : kNoTrayMessage) << '\n';
        if (!unseen) openSettings();
    });
}

void AppDelegate::togglePopover() {
    if (!statusItem_ || !popover_) return;
    if (popover_->isVisible()) {
        popover_->close();
        return;
    }
    recheckInputAccess();
    popover_->showBelow(statusItem_->geometry());
}

void AppDelegate::openSettings() {
    if (settingsWindow_) {
        settingsWindow_->bringToFront();
        return;
    }
    auto window = std::make_unique<SettingsWindow>([this] { openAccessHelp(); });
    connect(window.get(), &SettingsWindow::willClose, this, &AppDelegate::windowWillClose);
    window->centre();
    window->bringToFront();
    settingsWindow_ = std::move(window);
}

void AppDelegate::windowWillClose(QWidget* window) {
    if (window == nullptr || window != settingsWindow_.get()) return;
    // Called from the window's own close event: it is deleted once that has finished.
    settingsWindow_.release()->deleteLater();
}

void AppDelegate::setAccessGrant(AccessGrant grant) { accessGrant_ = std::move(grant); }

void AppDelegate::openAccessHelp() {
    if (accessHelp_.isNull()) {
        accessHelp_ = createInputAccessHelp(accessGrant_, [this] { recheckInputAccess(); });
    }
    accessHelp_->show();
    accessHelp_->raise();
    accessHelp_->activateWindow();
}

void AppDelegate::promptForInputAccess() {
    // Prompts come from starting interception, which the launch sequence does after the status
    // item exists. Without a tray (yet) the notice names the settings window, which opens when
    // no tray turns up and stays reachable through the panel when one does.
    if (!statusItem_) return;
    statusItem_->notify(inputAccessPromptText(statusItem_->isInTray()));
}

void AppDelegate::recheckInputAccess() {
    announcePermissionMayHaveChanged();
    ScrollInterceptor& interceptor = ScrollInterceptor::shared();
    // Only once access is there: starting without it would prompt again.
    if (Preferences::shared().isEnabled() && !interceptor.isRunning() &&
        interceptor.hasAccessibilityPermission()) {
        interceptor.start();
    }
}

void attach(AppDelegate& delegate, QCoreApplication& application) {
    QTimer::singleShot(0, &delegate, &AppDelegate::applicationDidFinishLaunching);
    QObject::connect(&application, &QCoreApplication::aboutToQuit, &delegate,
                     &AppDelegate::applicationWillTerminate);
}

}  // namespace glidewheel
