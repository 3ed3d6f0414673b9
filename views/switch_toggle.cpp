// SPDX-License-Identifier: MIT

#include "views/switch_toggle.h"

#include <QPainter>

#include "views/colors.h"

namespace glidewheel {

namespace {
constexpr int kWidth = 38;         // px
constexpr int kHeight = 22;        // px
constexpr qreal kKnobInset = 2.0;  // px between the track's edge and the knob
}  // namespace

SwitchToggle::SwitchToggle(QWidget* parent) : QAbstractButton(parent) {
    setCheckable(true);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setFocusPolicy(Qt::StrongFocus);
}

QSize SwitchToggle::sizeHint() const { return QSize(kWidth, kHeight); }

void SwitchToggle::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (!isEnabled()) painter.setOpacity(0.5);

    const QRectF track = QRectF(0, 0, kWidth, kHeight)
                             .translated((width() - kWidth) / 2.0, (height() - kHeight) / 2.0);
    const qreal radius = track.height() / 2.0;

    QColor off = foregroundColor(palette(), Foreground::primary);
    off.setAlphaF(0.18f);
    painter.setPen(Qt::NoPen);
    painter.setBrush(isChecked() ? palette().color(QPalette::Highlight) : off);
    if (isDown()) painter.setBrush(painter.brush().color().darker(115));
    painter.drawRoundedRect(track, radius, radius);

    if (hasFocus()) {
        QColor ring = palette().color(QPalette::Highlight);
        ring.setAlphaF(0.5f);
        painter.setPen(QPen(ring, 2.0));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(track.adjusted(1, 1, -1, -1), radius - 1, radius - 1);
    }

    const qreal knob = track.height() - 2 * kKnobInset;
    const qreal knobX = isChecked() ? track.right() - kKnobInset - knob : track.left() + kKnobInset;
    const QRectF knobRect(knobX, track.top() + kKnobInset, knob, knob);
    painter.setPen(QPen(QColor(0, 0, 0, 40), 0.8));
    painter.setBrush(Qt::white);
    painter.drawEllipse(knobRect);
}

}  // namespace glidewheel
