#include <gtest/gtest.h>

#include <QApplication>
#include <QFontInfo>
#include <QImage>
#include <QPalette>
#include <QTest>

#include "views/colors.h"
#include "views/switch_toggle.h"
#include "views/symbol_icon.h"
#include "views/text_style.h"

namespace glidewheel {
namespace {

TEST(SwitchToggle, FlipsOnClickAndSpaceOnlyWhileEnabled) {
    SwitchToggle toggle;
    toggle.show();
    int clicks = 0;
    QObject::connect(&toggle, &QAbstractButton::clicked, [&] { ++clicks; });
    QTest::mouseClick(&toggle, Qt::LeftButton);
    EXPECT_TRUE(toggle.isChecked());
    toggle.setFocus();
    QTest::keyClick(&toggle, Qt::Key_Space);
    EXPECT_FALSE(toggle.isChecked());
    EXPECT_EQ(clicks, 2);
    toggle.setEnabled(false);
    QTest::mouseClick(&toggle, Qt::LeftButton);
    EXPECT_FALSE(toggle.isChecked());
    EXPECT_EQ(clicks, 2);
}

TEST(SwitchToggle, DrawsTheKnobAtTheCheckedEnd) {
    SwitchToggle toggle;
    toggle.resize(toggle.sizeHint());
    const auto knobSideIsWhite = [&](bool right) {
        const QImage image = toggle.grab().toImage();
        const int x = right ? image.width() - image.height() / 2 : image.height() / 2;
        return image.pixelColor(x, image.height() / 2) == QColor(Qt::white);
    };
    EXPECT_TRUE(knobSideIsWhite(false));
    EXPECT_FALSE(knobSideIsWhite(true));
    toggle.setChecked(true);
    EXPECT_TRUE(knobSideIsWhite(true));
    EXPECT_FALSE(knobSideIsWhite(false));
}

TEST(Symbols, EveryNameLoadsAndPaintsOnlyInItsTint) {
    const QColor tint(0x00, 0x7A, 0xFF);
    for (const char* name : {"computermouse", "computermouse.fill", "exclamationmark.triangle.fill",
                             "gear", "info.circle"}) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(hasSymbol(name));
        const QImage image = symbolPixmap(name, 24, tint).toImage().convertToFormat(QImage::Format_ARGB32);
        ASSERT_EQ(image.size(), QSize(24, 24));
        int opaque = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QColor pixel = image.pixelColor(x, y);
                if (pixel.alpha() < 255) continue;
                ++opaque;
                EXPECT_EQ(pixel.rgb(), tint.rgb());
            }
        }
        EXPECT_GT(opaque, 24) << "the drawing is visible";
        EXPECT_FALSE(symbolIcon(name, tint).isNull());
    }
}

TEST(Symbols, RenderSharpForTheScreenAndRejectUnknownNames) {
    const QPixmap sharp = symbolPixmap("gear", 16, Qt::black, 2.0);
    EXPECT_EQ(sharp.size(), QSize(32, 32));
    EXPECT_EQ(sharp.deviceIndependentSize(), QSizeF(16, 16));
    EXPECT_FALSE(hasSymbol("no.such.symbol"));
    EXPECT_TRUE(symbolPixmap("no.such.symbol", 16, Qt::black).isNull());
}

TEST(TextStyles, KeepTheirProportionsToTheApplicationFont) {
    for (const QFont& base : {[] { QFont f("DejaVu Sans"); f.setPointSizeF(13); return f; }(),
                              [] { QFont f("DejaVu Sans"); f.setPixelSize(26); return f; }()}) {
        const auto size = [&](TextStyle style) {
            const QFont font = textStyleFont(style, base);
            return font.pointSizeF() > 0 ? font.pointSizeF() : font.pixelSize();
        };
        const double body = size(TextStyle::body);
        EXPECT_DOUBLE_EQ(size(TextStyle::title) / body, 22.0 / 13.0);
        EXPECT_DOUBLE_EQ(size(TextStyle::title3) / body, 15.0 / 13.0);
        EXPECT_DOUBLE_EQ(size(TextStyle::callout) / body, 12.0 / 13.0);
        EXPECT_DOUBLE_EQ(size(TextStyle::caption) / body, 10.0 / 13.0);
        EXPECT_EQ(size(TextStyle::headline), body);
        EXPECT_GT(textStyleFont(TextStyle::headline, base).weight(), base.weight());
        EXPECT_EQ(textStyleFont(TextStyle::caption, base).family(), base.family());
    }
}

TEST(Foreground, SecondaryAndTertiaryFadeThePalettesTextColour) {
    for (const QColor text : {QColor(Qt::black), QColor(230, 230, 230)}) {
        QPalette palette;
        palette.setColor(QPalette::WindowText, text);
        const QColor primary = foregroundColor(palette, Foreground::primary);
        const QColor secondary = foregroundColor(palette, Foreground::secondary);
        const QColor tertiary = foregroundColor(palette, Foreground::tertiary);
        EXPECT_EQ(primary, text);
        EXPECT_EQ(secondary.rgb(), text.rgb());
        EXPECT_EQ(tertiary.rgb(), text.rgb());
        EXPECT_LT(tertiary.alpha(), secondary.alpha());
        EXPECT_LT(secondary.alpha(), primary.alpha());
    }
}

}  // namespace
}  // namespace glidewheel
