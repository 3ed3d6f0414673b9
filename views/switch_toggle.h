// SPDX-License-Identifier: MIT

#pragma once

#include <QAbstractButton>

namespace glidewheel {

// An on/off switch: a rounded track with a sliding knob, checkable, with no text of its own.
// Clicking or pressing Space flips it, as with any checkable button.
class SwitchToggle : public QAbstractButton {
    Q_OBJECT
public:
    explicit SwitchToggle(QWidget* parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace glidewheel
