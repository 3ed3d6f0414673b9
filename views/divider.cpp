// SPDX-License-Identifier: MIT

#include "views/divider.h"

#include <QPainter>

#include "views/colors.h"

namespace glidewheel {

Divider::Divider(QWidget* parent) : QWidget(parent) {
    setFixedHeight(1);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void Divider::paintEvent(QPaintEvent*) {
    QColor line = foregroundColor(palette(), Foreground::primary);
    line.setAlphaF(0.15f);
    QPainter(this).fillRect(rect(), line);
}

}  // namespace glidewheel
