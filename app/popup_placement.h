// SPDX-License-Identifier: MIT

#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

namespace glidewheel {

// Where the tray popup's top-left corner goes, in global screen pixels.
//
// The popup hangs centred just below the tray icon's `iconGeometry`; when that would run past
// the bottom of `availableArea` (a panel at the bottom of the screen) it sits just above the
// icon instead. Desktops that give no icon geometry (an empty rectangle) anchor it at `cursor`.
// The result is then pushed inside `availableArea` so that no part of the popup is off screen
// or under a panel; a popup larger than the area keeps its top-left corner visible.
QPoint popupPosition(const QRect& iconGeometry, const QSize& popupSize, const QRect& availableArea,
                     const QPoint& cursor);

}  // namespace glidewheel
