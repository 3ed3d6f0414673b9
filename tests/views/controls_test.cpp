#include <gtest/gtest.h>

#include <QImage>
#include <QTest>

#include "views/switch_toggle.h"
#include "views/symbol_icon.h"

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

}  // namespace
}  // namespace glidewheel
