// SPDX-License-Identifier: MIT

#pragma once

#include <QIcon>
#include <QObject>
#include <QRect>
#include <QString>
#include <QSystemTrayIcon>

#include "app/tray_watch.h"

namespace glidewheel {

// The tray icon's image: the "computermouse" symbol in white inside a near-black outline, which
// reads on light and dark panels alike (the application palette says nothing about the panel's
// colour).
QIcon statusItemImage();

// The program's icon in the system tray. It shows at once when a tray exists, else as soon as
// one appears (a program started at login may run before the panel); meanwhile everything else
// keeps working.
class StatusItem : public QObject {
    Q_OBJECT
public:
    StatusItem(const QIcon& image, const QString& accessibilityDescription,
               QObject* parent = nullptr);

    bool isInTray() const;
    // The icon's place on screen in global pixels; empty where the desktop does not tell.
    QRect geometry() const;
    // A desktop notification from the icon. Without a tray it goes to standard error now (once
    // per text) and to the tray when one appears.
    void notify(const QString& text);

signals:
    // The user clicked the icon.
    void activated();
    // Still no tray a few seconds after start-up: the icon cannot be reached.
    void trayMissing();

private:
    void showInTray();
    void showMessageOnceEmbedded(const QString& text, int checksLeft);

    QString title_;
    QSystemTrayIcon trayIcon_;
    TrayWatch trayWatch_;
    QString pendingNotification_;
};

}  // namespace glidewheel
