// SPDX-License-Identifier: MIT

#include "views/plain_button.h"

#include <QPainter>

namespace glidewheel {

PlainButton::PlainButton(const QString& text, QWidget* parent) : QAbstractButton(parent) {
    setText(text);
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setFocusPolicy(Qt::TabFocus);
}

QSize PlainButton::sizeHint() const {
    const QFontMetrics metrics(font());
    return QSize(metrics.horizontalAdvance(text()), metrics.height());
}

void PlainButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (isDown()) painter.setOpacity(0.6);
    painter.setPen(palette().color(QPalette::ButtonText));
    painter.setFont(font());
    painter.drawText(rect(), Qt::AlignCenter | Qt::TextSingleLine, text());
    if (hasFocus()) {
        QColor focus = palette().color(QPalette::Highlight);
        painter.setPen(focus);
        painter.drawLine(rect().bottomLeft(), rect().bottomRight());
    }
}

}  // namespace glidewheel
