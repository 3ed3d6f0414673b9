// SPDX-License-Identifier: MIT

#include "views/text_style.h"

#include <QApplication>
#include <QLabel>
#include <QWidget>
#include <algorithm>
#include <cmath>

namespace glidewheel {

namespace {

struct StyleMetrics {
    double scale;  // of the application (body) font's size
    QFont::Weight weight;
};

// Desktop type ramps set body text at 13 units, titles at 22 and 15, callouts at 12 and
// captions at 10; the same proportions keep the hierarchy whatever size the user chose.
StyleMetrics metrics(TextStyle style) {
    switch (style) {
        case TextStyle::title: return {22.0 / 13.0, QFont::Normal};
        case TextStyle::title3: return {15.0 / 13.0, QFont::Normal};
        case TextStyle::headline: return {1.0, QFont::DemiBold};
        case TextStyle::callout: return {12.0 / 13.0, QFont::Normal};
        case TextStyle::caption: return {10.0 / 13.0, QFont::Normal};
    }
    return {1.0, QFont::Normal};
}

}  // namespace

QFont textStyleFont(TextStyle style, const QFont& base) {
    const StyleMetrics m = metrics(style);
    QFont font = base;
    // A font is sized either in points or in pixels; scale whichever it was given in.
    if (base.pointSizeF() > 0) {
        font.setPointSizeF(base.pointSizeF() * m.scale);
    } else {
        font.setPixelSize(std::max(1, static_cast<int>(std::lround(base.pixelSize() * m.scale))));
    }
    font.setWeight(m.weight);
    return font;
}

void setTextStyle(QWidget& widget, TextStyle style) {
    widget.setFont(textStyleFont(style, QApplication::font()));
}

QLabel* styledLabel(const QString& text, TextStyle style, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    setTextStyle(*label, style);
    return label;
}

}  // namespace glidewheel
