// SPDX-License-Identifier: MIT

#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QString>

namespace glidewheel {

// The program's symbol images ("computermouse", "computermouse.fill",
// "exclamationmark.triangle.fill", "gear", "info.circle"), drawn as single-colour SVGs and
// shipped as resources. Each is painted in `tint`; the drawing's own colour is ignored.

// A square pixmap `size` device-independent pixels wide, rendered sharp for `devicePixelRatio`.
// A null pixmap for an unknown name.
QPixmap symbolPixmap(const QString& name, int size, const QColor& tint,
                     qreal devicePixelRatio = 1.0);
// The symbol at the usual icon sizes, for tabs and buttons.
QIcon symbolIcon(const QString& name, const QColor& tint);

// The symbol in `fill` inside an outline of `outline` about a sixteenth of `size` wide (at least
// 1 px), all within the square: with a light fill and a dark outline it stands out on any
// background. A null pixmap for an unknown name.
QPixmap outlinedSymbolPixmap(const QString& name, int size, const QColor& fill,
                             const QColor& outline);
// The outlined symbol at the usual icon sizes.
QIcon outlinedSymbolIcon(const QString& name, const QColor& fill, const QColor& outline);

}  // namespace glidewheel
