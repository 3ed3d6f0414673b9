// SPDX-License-Identifier: MIT

#pragma once

#include <QColor>

class QPalette;
class QWidget;

namespace glidewheel {

// Accent colours for the symbols and the settings link.
QColor systemBlue();
QColor systemYellow();

// Text emphasis levels. Secondary and tertiary are the palette's text colour made partly
// transparent, so they read correctly on light and dark themes alike.
enum class Foreground { primary, secondary, tertiary };

QColor foregroundColor(const QPalette& palette, Foreground level);
// Sets the widget's text colours (window text and button text) to the level's colour.
void setForeground(QWidget& widget, Foreground level);
// Sets the widget's text colours to a fixed colour.
void setForegroundColor(QWidget& widget, const QColor& color);

}  // namespace glidewheel
