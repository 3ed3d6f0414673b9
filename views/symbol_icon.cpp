#include "views/symbol_icon.h"

#include <QFile>
#include <QPainter>
#include <QSvgRenderer>
#include <cmath>

// The resources live in a static library, where nothing references them by symbol: register
// them explicitly before the first look-up. Q_INIT_RESOURCE must be used outside any namespace.
static void registerSymbolResources() { Q_INIT_RESOURCE(symbols); }

namespace glidewheel {

namespace {

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
    for (const int size : {16, 24, 32, 48, 64}) icon.addPixmap(symbolPixmap(name, size, tint));
    return icon;
}

}  // namespace glidewheel
