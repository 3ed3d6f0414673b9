// SPDX-License-Identifier: MIT

// Renders the program's SVG icon as a square PNG for the icon-theme sizes that want bitmaps.
// Usage: glidewheel-render-icon <input.svg> <size in pixels> <output.png>

#include <iostream>

#include <QByteArray>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

int main(int argc, char* argv[]) {
    if (argc != 4) {
        std::cerr << "usage: glidewheel-render-icon <input.svg> <size> <output.png>\n";
        return 2;
    }
    bool isNumber = false;
    const int size = QByteArray(argv[2]).toInt(&isNumber);
    QSvgRenderer renderer(QString::fromLocal8Bit(argv[1]));
    if (!renderer.isValid() || !isNumber || size <= 0) {
        std::cerr << "glidewheel-render-icon: cannot render " << argv[1] << " at " << argv[2]
                  << '\n';
        return 1;
    }
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    renderer.render(&painter);
    painter.end();
    if (!image.save(QString::fromLocal8Bit(argv[3]), "PNG")) {
        std::cerr << "glidewheel-render-icon: cannot write " << argv[3] << '\n';
        return 1;
    }
    return 0;
}
