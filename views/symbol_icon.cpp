// SPDX-License-Identifier: MIT

#include "views/symbol_icon.h"

#include <QFile>
#include <QPainter>
#include <QSvgRenderer>
#include <algorithm>
#include <cmath>

// The resources live in a static library, where nothing references them by symbol: register
// them explicitly before the first look-up. Q_INIT_RESOURCE must be used outside any namespace.
static void registerSymbolResources() { Q_INIT_RESOURCE(symbols); }

namespace glidewheel {

namespace {

constexpr int kIconSizes[] = {16, 22, 24, 32, 48, 64};  // px

QString symbolPath(const QString& name) {
    static const bool registered = (registerSymbolResources(), true);
    (void)registered;
    return QStringLiteral(":/symbols/%1.svg").arg(name);
}

}  // namespace

QPixmap symbolPixmap(const QString& name, int size, const QColor& tint, qreal devicePixelRatio) {
    const QString path = symbolPath(name);
    if (size <= 0 || !QFile::exists(path)) return {};
    QSvgRenderer renderer(path);
    if (!renderer.isValid()) return {};

    const int pixels = static_cast<int>(std::ceil(size * devicePixelRatio));
    QPixmap pixmap(pixels, pixels);
    pixmap.fill(Qt::transparent);
    {
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter, QRectF(0, 0, pixels, pixels));
        // Keep the drawing's coverage, replace its colour.
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        painter.fillRect(pixmap.rect(), tint);
    }
    pixmap.setDevicePixelRatio(devicePixelRatio);
    return pixmap;
}

QIcon symbolIcon(const QString& name, const QColor& tint) {
    QIcon icon;
    for (const int size : kIconSizes) icon.addPixmap(symbolPixmap(name, size, tint));
    return icon;
}

QPixmap outlinedSymbolPixmap(const QString& name, int size, const QColor& fill,
                             const QColor& outline) {
    const int width = std::max(1, size / 16);  // of the outline, px
    const QPixmap shape = symbolPixmap(name, size - 2 * width, fill);
    const QPixmap halo = symbolPixmap(name, size - 2 * width, outline);
    if (shape.isNull() || halo.isNull()) return {};
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    {
        QPainter painter(&pixmap);
        // The outline is the shape moved to every offset within a disc of the outline's width.
        for (int dx = -width; dx <= width; ++dx) {
            for (int dy = -width; dy <= width; ++dy) {
                if (dx * dx + dy * dy <= width * width + 1) {
                    painter.drawPixmap(width + dx, width + dy, halo);
                }
            }
        }
        painter.drawPixmap(width, width, shape);
    }
    return pixmap;
}

QIcon outlinedSymbolIcon(const QString& name, const QColor& fill, const QColor& outline) {
    QIcon icon;
    for (const int size : kIconSizes)
        icon.addPixmap(outlinedSymbolPixmap(name, size, fill, outline));
    return icon;
}

}  // namespace glidewheel
