#include "app/app_delegate.h"

#include <QApplication>
#include <QGuiApplication>
#include <QPalette>
#include <QPointer>
#include <QTimer>

#include "engine/scroll_interceptor.h"
#include "platform/services.h"
#include "settings/preferences.h"
#include "views/menu_popover_view.h"
#include "views/symbol_icon.h"

namespace glidewheel {

namespace {

constexpr const char* kHasLaunchedBefore = "hasLaunchedBefore";

// Whether windows can be seen at all (not so on the offscreen and minimal platforms).
bool hasVisibleScreen() {
    const QString platform = QGuiApplication::platformName();
    return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}

}  // namespace

AppDelegate::AppDelegate(QObject* parent) : QObject(parent) {}

AppDelegate::~AppDelegate() = default;

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
        [] { QCoreApplication::quit(); });
    popover_ = std::make_unique<PopupPanel>(view);
}

void AppDelegate::setupStatusItem() {
    const QColor tint = QGuiApplication::palette().color(QPalette::WindowText);
    statusItem_ = std::make_unique<StatusItem>(symbolIcon(QStringLiteral("computermouse"), tint),
                                               QStringLiteral("Glidewheel"));
    connect(statusItem_.get(), &StatusItem::activated, this, &AppDelegate::togglePopover);
    // Never run invisibly with no way in: without a tray, the settings window is the way in.
    connect(statusItem_.get(), &StatusItem::trayMissing, this, [this] {
        if (hasVisibleScreen()) openSettings();
    });
}

void AppDelegate::togglePopover() {
    if (!statusItem_ || !popover_) return;
    if (popover_->isVisible()) {
        popover_->close();
        return;
    }
    popover_->showBelow(statusItem_->geometry());
}

void AppDelegate::openSettings() {
    if (settingsWindow_) {
        settingsWindow_->bringToFront();
        return;
    }
    auto window = std::make_unique<SettingsWindow>();
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

void AppDelegate::promptForInputAccess(const QString& text) {
    // Prompts come from starting interception, which the launch sequence does after the status
    // item exists.
    if (statusItem_) statusItem_->notify(text);
}

void attach(AppDelegate& delegate, QCoreApplication& application) {
    QTimer::singleShot(0, &delegate, &AppDelegate::applicationDidFinishLaunching);
    QObject::connect(&application, &QCoreApplication::aboutToQuit, &delegate,
                     &AppDelegate::applicationWillTerminate);
}

}  // namespace glidewheel
