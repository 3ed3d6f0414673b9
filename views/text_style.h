#pragma once

#include <QFont>

class QWidget;

namespace glidewheel {

// The named text styles of the views, each a size and weight relative to the application font
// (the body style), so they follow the desktop's font choice.
enum class TextStyle { body, title, title3, headline, callout, caption };

QFont textStyleFont(TextStyle style, const QFont& base);
// Gives `widget` the style's font, relative to the application font.
void setTextStyle(QWidget& widget, TextStyle style);

}  // namespace glidewheel
