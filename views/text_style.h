// SPDX-License-Identifier: MIT

#pragma once

#include <QFont>

class QLabel;
class QWidget;

namespace glidewheel {

// The named text styles of the views, each a size and weight relative to the application font
// (body text), so they follow the desktop's font choice.
enum class TextStyle { title, title3, headline, callout, caption };

QFont textStyleFont(TextStyle style, const QFont& base);
// Gives `widget` the style's font, relative to the application font.
void setTextStyle(QWidget& widget, TextStyle style);
// A new label showing `text` in the style.
QLabel* styledLabel(const QString& text, TextStyle style, QWidget* parent);

}  // namespace glidewheel
