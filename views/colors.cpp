// SPDX-License-Identifier: MIT

#include "views/colors.h"

#include <QPalette>
#include <QWidget>

namespace glidewheel {

QColor systemBlue() { return QColor(0x00, 0x7A, 0xFF); }
QColor systemYellow() { return QColor(0xFF, 0xCC, 0x00); }

QColor foregroundColor(const QPalette& palette, Foreground level) {
    QColor color = palette.color(QPalette::Active, QPalette::WindowText);
    switch (level) {
        case Foreground::primary: break;
        case Foreground::secondary: color.setAlphaF(0.55f); break;
        case Foreground::tertiary: color.setAlphaF(0.30f); break;
    }
    return color;
}

void setForeground(QWidget& widget, Foreground level) {
    setForegroundColor(widget, foregroundColor(widget.palette(), level));
}

void setForegroundColor(QWidget& widget, const QColor& color) {
    QPalette palette = widget.palette();
    // Every state shows the same colour; a container that dims its content does so itself.
    for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        palette.setColor(group, QPalette::WindowText, color);
        palette.setColor(group, QPalette::ButtonText, color);
        palette.setColor(group, QPalette::Text, color);
    }
    widget.setPalette(palette);
}

}  // namespace glidewheel
