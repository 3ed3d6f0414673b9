// SPDX-License-Identifier: MIT

#include "views/symbol_image.h"

#include <QApplication>
#include <QFontInfo>
#include <QPainter>

#include "views/symbol_icon.h"

namespace glidewheel {

SymbolImage::SymbolImage(const QString& name, TextStyle style, const QColor& tint, QWidget* parent)
    : SymbolImage(name, QFontInfo(textStyleFont(style, QApplication::font())).pixelSize(), tint,
                  parent) {}

SymbolImage::SymbolImage(const QString& name, int size, const QColor& tint, QWidget* parent)
    : QWidget(parent), name_(name), size_(size), tint_(tint) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void SymbolImage::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QPixmap pixmap = symbolPixmap(name_, size_, tint_, devicePixelRatioF());
    // Centred in case a layout gives the widget more room than it asked for.
    const QPoint origin((width() - size_) / 2, (height() - size_) / 2);
    painter.drawPixmap(origin, pixmap);
}

}  // namespace glidewheel
