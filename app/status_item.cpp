// SPDX-License-Identifier: MIT

#include "app/status_item.h"

#include <chrono>
#include <iostream>

#include <QTimer>

#include "views/symbol_icon.h"

namespace glidewheel {

namespace {

using namespace std::chrono_literals;
constexpr auto kTrayPollInterval = 1s;
constexpr auto kTrayPatience = 5s;
constexpr auto kEmbedCheckInterval = 100ms;
constexpr int kEmbedChecks = 30;

}  // namespace

QIcon statusItemImage() {
    return outlinedSymbolIcon(QStringLiteral("computermouse"), QColor(0xFF, 0xFF, 0xFF),
                              QColor(0x1A, 0x1A, 0x1A));
}

StatusItem::StatusItem(const QIcon& image, const QString& accessibilityDescription, QObject* parent)
    : QObject(parent),
      title_(accessibilityDescription),
      trayIcon_(image),
      trayWatch_(&QSystemTrayIcon::isSystemTrayAvailable, kTrayPollInterval, kTrayPatience) {
    // Tray hosts read the tooltip as the icon's name.
    trayIcon_.setToolTip(accessibilityDescription);
    connect(&trayIcon_, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                // A right click would open a context menu; there is none, so it toggles the
                // popup too. A double click follows the Trigger of its first click: not a new one.
                if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::Context) {
                    emit activated();
                }
            });
    connect(&trayWatch_, &TrayWatch::appeared, this, &StatusItem::showInTray);
    connect(&trayWatch_, &TrayWatch::stillMissing, this, &StatusItem::trayMissing);

    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        showInTray();
    } else {
        trayWatch_.start();
    }
}

bool StatusItem::isInTray() const {
    return trayIcon_.isVisible() && QSystemTrayIcon::isSystemTrayAvailable();
}

QRect StatusItem::geometry() const { return isInTray() ? trayIcon_.geometry() : QRect(); }

void StatusItem::notify(const QString& text) {
    if (isInTray()) {
        showMessageOnceEmbedded(text, kEmbedChecks);
        return;
    }
    if (pendingNotification_ != text) {
        std::cerr << "glidewheel: " << text.toStdString() << '\n';
    }
    pendingNotification_ = text;
}

void StatusItem::showInTray() {
    trayIcon_.show();
    if (!pendingNotification_.isEmpty()) {
        showMessageOnceEmbedded(pendingNotification_, kEmbedChecks);
        pendingNotification_.clear();
    }
}

void StatusItem::showMessageOnceEmbedded(const QString& text, int checksLeft) {
    // A tray takes a moment to embed a new icon; until then the icon sits unplaced at the
    // screen's origin, and a message shown then would point there instead of at the icon.
    const QRect placed = trayIcon_.geometry();
    if ((placed.isEmpty() || placed.topLeft() == QPoint(0, 0)) && checksLeft > 0) {
        QTimer::singleShot(kEmbedCheckInterval, this, [this, text, checksLeft] {
            showMessageOnceEmbedded(text, checksLeft - 1);
        });
        return;
    }
    trayIcon_.showMessage(title_, text, QSystemTrayIcon::Warning);
}

}  // namespace glidewheel
