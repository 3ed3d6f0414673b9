// SPDX-License-Identifier: MIT

#pragma once

#include <QAbstractButton>

namespace glidewheel {

// A button drawn as its text alone, in its window-text colour, dimmed while pressed: a link-like
// control for a panel's footer.
class PlainButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit PlainButton(const QString& text, QWidget* parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace glidewheel
