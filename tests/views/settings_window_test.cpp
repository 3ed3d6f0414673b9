#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QTabWidget>

#include "tests/views/test_platform.h"
#include "views/about_view.h"
#include "views/content_view.h"
#include "views/divider.h"
#include "views/general_view.h"
#include "views/symbol_image.h"

namespace glidewheel {
namespace {

class SettingsWindowTest : public ::testing::Test {
protected:
    void TearDown() override { test::resetSim(); }
};

TEST_F(SettingsWindowTest, ANewContentViewOpensOnGeneral) {
    for (int round = 0; round < 2; ++round) {
        ContentView content;
        auto* tabs = content.findChild<QTabWidget*>();
        ASSERT_NE(tabs, nullptr);
        ASSERT_EQ(tabs->count(), 2);
        EXPECT_EQ(tabs->tabText(0), "General");
        EXPECT_EQ(tabs->tabText(1), "About");
        EXPECT_FALSE(tabs->tabIcon(0).isNull());
        EXPECT_FALSE(tabs->tabIcon(1).isNull());
        EXPECT_NE(dynamic_cast<GeneralView*>(tabs->widget(0)), nullptr);
        EXPECT_NE(dynamic_cast<AboutView*>(tabs->widget(1)), nullptr);
        content.show();
        EXPECT_EQ(tabs->currentIndex(), 0);
        tabs->setCurrentIndex(1);  // the selection does not carry over to the next window
    }
}

TEST_F(SettingsWindowTest, TabsSitEightInFromTheSidesAndBottomAndTouchTheTop) {
    ContentView content;
    content.setFixedSize(360, 340);
    content.show();
    const QRect tabs = content.findChild<QTabWidget*>()->geometry();
    EXPECT_EQ(tabs, QRect(8, 0, 344, 332));
}

TEST_F(SettingsWindowTest, GeneralEndsWithTheWarningOnlyWhileUntrusted) {
    test::sim().trust.trusted = false;
    GeneralView general(Preferences::shared(), false);
    general.show();
    auto* button = general.findChild<QPushButton*>("openAccessibilitySettings");
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->text(), QString::fromUtf8("Accessibility Settings\u2026"));
    auto* warning = general.findChild<QWidget*>("permissionWarning");
    ASSERT_NE(warning, nullptr);
    // The warning is the lowest visible control, directly below the button.
    EXPECT_TRUE(warning->isVisible());
    EXPECT_EQ(warning->geometry().top() - button->geometry().bottom() - 1, 16);
    for (const QWidget* other : general.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (other != warning && other->isVisible()) {
            EXPECT_LT(other->geometry().top(), warning->geometry().top());
        }
    }

    test::sim().trust.trusted = true;
    general.hide();
    general.show();
    EXPECT_FALSE(warning->isVisible());
    for (const QWidget* other : general.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (other != button && other->isVisible()) {
            EXPECT_LT(other->geometry().top(), button->geometry().top());
        }
    }
}

TEST_F(SettingsWindowTest, AboutShowsTheBundleVersionEachTimeItIsShown) {
    test::sim().bundle.info = platform::Bundle::InfoDictionary{{"CFBundleShortVersionString", "2.3"}};
    AboutView about;
    about.show();
    auto* version = about.findChild<QLabel*>("version");
    ASSERT_NE(version, nullptr);
    EXPECT_EQ(version->text(), "Version 2.3");

    test::sim().bundle.info = platform::Bundle::InfoDictionary{{"CFBundleShortVersionString", 2.3}};
    about.hide();
    about.show();
    EXPECT_EQ(version->text(), "Version 1.0");
    test::sim().bundle.info.reset();
    about.hide();
    about.show();
    EXPECT_EQ(version->text(), "Version 1.0");
}

TEST_F(SettingsWindowTest, AboutBlockIsCentredInTheTab) {
    AboutView about;
    about.resize(344, 300);
    about.show();
    auto* description = about.findChild<QLabel*>("description");
    ASSERT_NE(description, nullptr);
    EXPECT_EQ(description->text().split('\n'),
              (QStringList{"Make your third-party mouse scroll", "as smooth as a trackpad."}));
    EXPECT_TRUE(description->alignment() & Qt::AlignHCenter);

    const auto* symbol = about.findChild<SymbolImage*>();
    ASSERT_NE(symbol, nullptr);
    EXPECT_EQ(symbol->size(), QSize(64, 64));
    EXPECT_EQ(symbol->name(), "computermouse.fill");
    const auto dividers = about.findChildren<Divider*>();
    ASSERT_EQ(dividers.size(), 2);
    for (const Divider* divider : dividers) {
        EXPECT_EQ(divider->width(), 200);
        EXPECT_EQ(divider->geometry().center().x(), symbol->geometry().center().x());
    }
    const int above = symbol->geometry().top();
    const int below = about.height() - dividers.back()->geometry().bottom() - 1;
    EXPECT_LE(std::abs(above - below), 1);
    EXPECT_GT(above, 20);  // there is room to centre in, so this is not trivially true
}

}  // namespace
}  // namespace glidewheel
