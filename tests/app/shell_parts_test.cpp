// SPDX-License-Identifier: MIT

// The shell's parts: the tray icon, the popup panel and where it opens, the tray watch.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>

#include <QImage>
#include <QPainter>

#include "app/popup_panel.h"
#include "app/popup_placement.h"
#include "app/status_item.h"
#include "app/tray_watch.h"
#include "tests/app/test_support.h"
#include "views/symbol_icon.h"

namespace glidewheel::testing {
namespace {

using namespace std::chrono_literals;

// --- the tray icon ---

double luminance(const QColor& c) {
    const auto linear = [](double channel) {
        return channel <= 0.03928 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(c.redF()) + 0.7152 * linear(c.greenF()) + 0.0722 * linear(c.blueF());
}

// The contrast ratio of two colours, 1 (none) to 21 (black on white).
double contrast(const QColor& a, const QColor& b) {
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// How many pixels of `image` are `counted`.
int countPixels(const QImage& image, const std::function<bool(const QColor&)>& counted) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) count += counted(image.pixelColor(x, y));
    return count;
}

// How many pixels of `icon`, laid over `background`, stand out from it at 3:1 or more (the
// least contrast asked of graphics that must be recognised).
int distinctPixels(const QPixmap& icon, const QColor& background) {
    QImage canvas(icon.size(), QImage::Format_RGB32);
    canvas.fill(background);
    QPainter(&canvas).drawPixmap(0, 0, icon);
    return countPixels(canvas, [&](const QColor& c) { return contrast(c, background) >= 3.0; });
}

// Pixels the plain symbol covers at least half at `size`, whatever its colour: the ink a reader
// must see.
int inkPixels(int size) {
    return countPixels(symbolPixmap("computermouse", size, Qt::black).toImage(),
                       [](const QColor& c) { return c.alphaF() >= 0.5f; });
}

// Whatever the panel's colour, at least three quarters as many pixels stand out from it as the
// symbol has ink (drawn inside its outline, a sixteenth of the size smaller on each side).
TEST(StatusItemImage, StandsOutOnLightAndDarkPanels) {
    const QIcon icon = statusItemImage();
    const std::pair<const char*, QColor> panels[] = {
        {"light", QColor(0xF6, 0xF5, 0xF4)},    {"white", Qt::white},
        {"dark", QColor(0x24, 0x24, 0x24)},     {"black", Qt::black},
        {"mid grey", QColor(0x80, 0x80, 0x80)},
    };
    for (const int size : {16, 22, 24, 32}) {
        const QPixmap pixmap = icon.pixmap(size, size);
        ASSERT_EQ(pixmap.width(), size);
        const int ink = inkPixels(size - 2 * std::max(1, size / 16));
        for (const auto& [name, panel] : panels) {
            EXPECT_GE(4 * distinctPixels(pixmap, panel), 3 * ink)
                << "at " << size << " px on a " << name << " panel";
        }
    }
    // The measure tells a one-colour icon apart: black all but vanishes on a dark panel.
    const QPixmap black = symbolPixmap("computermouse", 22, Qt::black);
    EXPECT_LT(distinctPixels(black, QColor(0x24, 0x24, 0x24)), inkPixels(22) / 10);
}

// --- the popup's border ---

TEST(PopupPanel, HasAOnePixelBorderInTheMidColourAroundItsContent) {
    auto* content = new QWidget;
    content->setAutoFillBackground(true);
    PopupPanel panel(content);
    panel.show();
    const QImage image = panel.grab().toImage();
    const QColor mid = panel.palette().color(QPalette::Mid);
    const int w = PopupPanel::kSize.width(), h = PopupPanel::kSize.height();
    ASSERT_EQ(image.size(), PopupPanel::kSize);
    for (const QPoint edge : {QPoint(0, 0), QPoint(w / 2, 0), QPoint(w - 1, h / 2),
                              QPoint(w / 2, h - 1), QPoint(0, h - 1), QPoint(w - 1, h - 1)}) {
        EXPECT_EQ(image.pixelColor(edge).rgb(), mid.rgb()) << edge.x() << "," << edge.y();
    }
    EXPECT_EQ(content->geometry(), QRect(1, 1, w - 2, h - 2));
}

// --- where the popup opens, and the tray watch ---

TEST(PopupPlacement, HangsBelowTheIconOrAboveItAndStaysInsideTheArea) {
    const QRect topPanel(0, 24, 1920, 1056);  // a 24 px panel along the top
    const struct {
        const char* name;
        QRect icon, area;
        QPoint cursor, expected;
    } cases[] = {
        {"top, middle: centred below", {900, 0, 24, 24}, topPanel, {}, {762, 24}},
        {"bottom panel: above", {1800, 1052, 24, 24}, {0, 0, 1920, 1048}, {}, {1620, 708}},
        {"second screen, left panel", {1920, 500, 24, 24}, {1944, 0, 1280, 1024}, {}, {1944, 524}},
        {"no geometry: at the cursor", {}, topPanel, {500, 400}, {351, 401}},
        {"no geometry, cursor bottom right", {}, topPanel, {1919, 1079}, {1620, 739}},
        {"area smaller than the popup", {10, 10, 24, 24}, {0, 0, 200, 200}, {}, {0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(popupPosition(c.icon, QSize(300, 340), c.area, c.cursor), c.expected);
    }
}

TEST(TrayWatch, ReportsAMissingTrayOnceThenItsArrival) {
    bool available = false;
    TrayWatch watch([&] { return available; }, 5ms, 40ms);
    int appeared = 0, missing = 0;
    QObject::connect(&watch, &TrayWatch::appeared, [&] { ++appeared; });
    QObject::connect(&watch, &TrayWatch::stillMissing, [&] { ++missing; });
    const auto runFor = [](std::chrono::milliseconds time) {
        const auto end = std::chrono::steady_clock::now() + time;
        waitUntil([&] { return std::chrono::steady_clock::now() >= end; }, processEvents);
    };
    watch.start();
    ASSERT_TRUE(waitUntil([&] { return missing > 0; }, processEvents));
    runFor(100ms);  // polls on: the tray is still missing
    available = true;
    ASSERT_TRUE(waitUntil([&] { return appeared > 0; }, processEvents));
    runFor(100ms);
    EXPECT_EQ(missing, 1);
    EXPECT_EQ(appeared, 1);
}

}  // namespace
}  // namespace glidewheel::testing
