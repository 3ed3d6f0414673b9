// SPDX-License-Identifier: MIT

#include "app/popup_panel.h"

#include <QCursor>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QVBoxLayout>

#include "app/popup_placement.h"

namespace glidewheel {

PopupPanel::PopupPanel(QWidget* content) : QWidget(nullptr, Qt::Popup), content_(content) {
    // A click on the tray icon while the panel is open only closes the panel; replaying that
    // click to the icon would open it again at once.
    setAttribute(Qt::WA_NoMouseReplay);
    setFixedSize(kSize);
    auto* layout = new QVBoxLayout(this);
    // The content sits inside the border.
    layout->setContentsMargins(kBorderWidth, kBorderWidth, kBorderWidth, kBorderWidth);
    layout->setSpacing(0);
    layout->addWidget(content_);
}

void PopupPanel::paintEvent(QPaintEvent*) {
    // Without an edge of its own the panel melts into a light window behind it. A 1 px pen
    // covers the pixels right of and below its rectangle, hence the adjustment.
    QPainter painter(this);
    painter.setPen(QPen(palette().color(QPalette::Mid), kBorderWidth));
    painter.drawRect(rect().adjusted(0, 0, -kBorderWidth, -kBorderWidth));
}

void PopupPanel::showBelow(const QRect& iconGeometry) {
    const QPoint cursor = QCursor::pos();
    const QPoint anchor = iconGeometry.isEmpty() ? cursor : iconGeometry.center();
    QScreen* screen = QGuiApplication::screenAt(anchor);
    if (screen == nullptr) screen = QGuiApplication::primaryScreen();
    const QRect available =
        screen != nullptr ? screen->availableGeometry() : QRect(QPoint(), kSize);

    move(popupPosition(iconGeometry, kSize, available, cursor));
    show();
    raise();
    activateWindow();
    // The first control takes the keys, so the panel works from the keyboard at once.
    if (focusWidget() == nullptr) focusNextChild();
}

}  // namespace glidewheel
