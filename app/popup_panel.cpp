#include "app/popup_panel.h"

#include <QCursor>
#include <QGuiApplication>
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
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(content_);
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
