// SPDX-License-Identifier: MIT

#include "app/settings_window.h"

#include <QCloseEvent>
#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>
#include <utility>

#include "views/content_view.h"

namespace glidewheel {

SettingsWindow::SettingsWindow(std::function<void()> onOpenAccessibilitySettings)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowCloseButtonHint) {
    setWindowTitle(QStringLiteral("Glidewheel Settings"));
    setFixedSize(kContentSize);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new ContentView(std::move(onOpenAccessibilitySettings), this));
}

void SettingsWindow::centre() {
    QScreen* screen = QGuiApplication::screenAt(QCursor::pos());
    if (screen == nullptr) screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) return;
    // The content is centred: the frame the window manager adds is not known before showing.
    QRect content(QPoint(), size());
    content.moveCenter(screen->availableGeometry().center());
    setGeometry(content);
}

void SettingsWindow::bringToFront() {
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

void SettingsWindow::closeEvent(QCloseEvent* event) {
    event->accept();
    emit willClose(this);
}

}  // namespace glidewheel
