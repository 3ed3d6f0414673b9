// SPDX-License-Identifier: MIT

#include "views/control_size.h"

#include <QApplication>
#include <QPointer>
#include <QProxyStyle>
#include <QStyleOption>
#include <QWidget>
#include <algorithm>
#include <cmath>

namespace glidewheel {

namespace {

constexpr double kSmallScale = 0.75;    // of a regular control's thickness
constexpr int kSmallButtonPadding = 2;  // px above and below a button's title, inside its frame

int scaled(int pixels) { return std::max(1, static_cast<int>(std::lround(pixels * kSmallScale))); }

// The application's style with smaller sliders and buttons.
class SmallControlStyle final : public QProxyStyle {
public:
    explicit SmallControlStyle(const QString& baseStyle) : QProxyStyle(baseStyle) {}

    int pixelMetric(PixelMetric metric, const QStyleOption* option,
                    const QWidget* widget) const override {
        const int regular = QProxyStyle::pixelMetric(metric, option, widget);
        switch (metric) {
            case PM_SliderThickness:
            case PM_SliderControlThickness:
            case PM_SliderLength: return scaled(regular);
            default: return regular;
        }
    }

    QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& contents,
                           const QWidget* widget) const override {
        QSize size = QProxyStyle::sizeFromContents(type, option, contents, widget);
        if (type == CT_PushButton) {
            const int frame = pixelMetric(PM_DefaultFrameWidth, option, widget);
            size.setHeight(
                std::min(size.height(), contents.height() + 2 * (frame + kSmallButtonPadding)));
        }
        return size;
    }
};

QStyle* smallControlStyle() {
    // One for the whole program, made from whichever style the application runs with; the
    // widgets that use it do not own it.
    static QPointer<QStyle> style;
    if (style.isNull()) {
        style = new SmallControlStyle(QApplication::style()->name());
        style->setParent(qApp);
    }
    return style;
}

}  // namespace

void setSmallControlSize(QWidget& control) { control.setStyle(smallControlStyle()); }

}  // namespace glidewheel
