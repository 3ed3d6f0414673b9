// SPDX-License-Identifier: MIT

#pragma once

#include <QWidget>

namespace glidewheel {

// A one-pixel horizontal separator line in a faint text colour. It fills the width it is given
// unless a fixed width is set.
class Divider : public QWidget {
    Q_OBJECT
public:
    explicit Divider(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace glidewheel
