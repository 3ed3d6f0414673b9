// SPDX-License-Identifier: MIT

#include "app/popup_placement.h"

#include <algorithm>

namespace glidewheel {

namespace {

// Keeps [start, start + length) inside [low, high) where it fits, else starts at `low`.
int keepInside(int start, int length, int low, int high) {
    return std::max(low, std::min(start, high - length));
}

}  // namespace

QPoint popupPosition(const QRect& iconGeometry, const QSize& popupSize, const QRect& availableArea,
                     const QPoint& cursor) {
    const QRect anchor = iconGeometry.isEmpty() ? QRect(cursor, QSize(1, 1)) : iconGeometry;
    const int areaBottom = availableArea.y() + availableArea.height();  // one past the last row

    int y = anchor.y() + anchor.height();
    if (y + popupSize.height() > areaBottom) y = anchor.y() - popupSize.height();
    y = keepInside(y, popupSize.height(), availableArea.y(), areaBottom);

    const int centredX = anchor.x() + (anchor.width() - popupSize.width()) / 2;
    const int x = keepInside(centredX, popupSize.width(), availableArea.x(),
                             availableArea.x() + availableArea.width());
    return {x, y};
}

}  // namespace glidewheel
