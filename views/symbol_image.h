// SPDX-License-Identifier: MIT

#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

#include "views/text_style.h"

namespace glidewheel {

// A symbol shown inline with text: square, as tall as the text style's font, in one colour.
class SymbolImage : public QWidget {
    Q_OBJECT
public:
    SymbolImage(const QString& name, TextStyle style, const QColor& tint,
                QWidget* parent = nullptr);
    // A symbol of a fixed size in device-independent pixels.
    SymbolImage(const QString& name, int size, const QColor& tint, QWidget* parent = nullptr);

    QSize sizeHint() const override { return QSize(size_, size_); }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString name_;
    int size_;
    QColor tint_;
};

}  // namespace glidewheel
