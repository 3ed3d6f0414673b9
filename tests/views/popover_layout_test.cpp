#include <gtest/gtest.h>

#include <QCheckBox>
#include <QGraphicsOpacityEffect>
#include <QLabel>
#include <QSlider>
#include <QTest>

#include "tests/views/test_platform.h"
#include "tests/views/test_settings.h"
#include "views/divider.h"
#include "views/menu_popover_view.h"
#include "views/switch_toggle.h"

namespace glidewheel {
namespace {

class PopoverTest : public ::testing::Test {
protected:
    void TearDown() override { test::resetSim(); }

    // What each visible row is, top to bottom: its name, or "divider".
    static QStringList rowNames(const MenuPopoverView& view) {
        QStringList names;
        for (const QWidget* row : test::visibleRows(view)) {
            names << (dynamic_cast<const Divider*>(row) && row->objectName() != "permissionDivider"
                          ? QStringLiteral("divider")
                          : row->objectName());
        }
        return names;
    }

    template <class T>
    static T* child(const QWidget& view, const char* name) {
        T* found = view.findChild<T*>(name);
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    test::TestSettings settings;
    int settingsOpened = 0;
    int quits = 0;
};

TEST_F(PopoverTest, RowsWithoutPermissionIncludeTheWarning) {
    test::sim().trust.trusted = false;
    MenuPopoverView view(settings.prefs, false, {}, {});
    view.show();
    EXPECT_FALSE(view.hasPermission());
    EXPECT_EQ(rowNames(view), (QStringList{"header", "divider", "permissionWarning", "permissionDivider",
                                           "settingsSection", "divider", "footer"}));
}

TEST_F(PopoverTest, RowsWithPermissionGoStraightToTheSection) {
    MenuPopoverView view(settings.prefs, true, {}, {});
    view.show();
    EXPECT_EQ(rowNames(view),
              (QStringList{"header", "divider", "settingsSection", "divider", "footer"}));
}

TEST_F(PopoverTest, SectionDimsAndStopsRespondingWhileDisabled) {
    settings.prefs.setIsEnabled(false);
    settings.prefs.setScrollSpeed(1.0);
    MenuPopoverView view(settings.prefs, true, {}, {});
    view.resize(300, 340);
    view.show();
    auto* section = child<QWidget>(view, "settingsSection");
    auto* effect = qobject_cast<QGraphicsOpacityEffect*>(section->graphicsEffect());
    ASSERT_NE(effect, nullptr);
    EXPECT_DOUBLE_EQ(effect->opacity(), 0.4);

    auto* reverse = child<QCheckBox>(view, "reverseScroll");
    auto* launch = child<QCheckBox>(view, "launchAtLogin");
    auto* speed = child<QSlider>(view, "scrollSpeed");
    QTest::mouseClick(reverse, Qt::LeftButton);
    QTest::mouseClick(launch, Qt::LeftButton);
    speed->setFocus();
    QTest::keyClick(speed, Qt::Key_Right);
    EXPECT_FALSE(settings.prefs.reverseScroll());
    EXPECT_FALSE(settings.prefs.launchAtLogin());
    EXPECT_EQ(settings.prefs.scrollSpeed(), 1.0);
    EXPECT_TRUE(settings.loginItems.calls.empty());

    // The header switch stays live and brings the section back.
    auto* master = child<SwitchToggle>(view, "isEnabled");
    EXPECT_TRUE(master->isEnabled());
    QTest::mouseClick(master, Qt::LeftButton);
    EXPECT_TRUE(settings.prefs.isEnabled());
    EXPECT_DOUBLE_EQ(effect->opacity(), 1.0);
    QTest::mouseClick(reverse, Qt::LeftButton);
    EXPECT_TRUE(settings.prefs.reverseScroll());
    speed->setFocus();
    QTest::keyClick(speed, Qt::Key_Right);
    EXPECT_EQ(settings.prefs.scrollSpeed(), 1.1);
}

TEST_F(PopoverTest, DisablingFromElsewhereDimsAtOnce) {
    MenuPopoverView view(settings.prefs, true, {}, {});
    auto* section = child<QWidget>(view, "settingsSection");
    auto* master = child<SwitchToggle>(view, "isEnabled");
    settings.prefs.setIsEnabled(false);
    EXPECT_FALSE(section->isEnabled());
    EXPECT_FALSE(master->isChecked());
    EXPECT_DOUBLE_EQ(qobject_cast<QGraphicsOpacityEffect*>(section->graphicsEffect())->opacity(), 0.4);
    settings.prefs.setIsEnabled(true);
    EXPECT_TRUE(section->isEnabled());
    EXPECT_TRUE(master->isChecked());
}

TEST_F(PopoverTest, FooterRunsItsActionsAndShowsTheVersion) {
    test::sim().bundle.info = platform::Bundle::InfoDictionary{{"CFBundleShortVersionString", "2.3"}};
    MenuPopoverView view(settings.prefs, true, [this] { ++settingsOpened; }, [this] { ++quits; });
    view.resize(300, 340);
    view.show();
    EXPECT_EQ(child<QLabel>(view, "version")->text(), "v2.3");
    QTest::mouseClick(child<QWidget>(view, "openSettings"), Qt::LeftButton);
    EXPECT_EQ(settingsOpened, 1);
    EXPECT_EQ(quits, 0);
    QTest::mouseClick(child<QWidget>(view, "quit"), Qt::LeftButton);
    EXPECT_EQ(quits, 1);

    // Read again at the next showing, not kept from the first.
    test::sim().bundle.info.reset();
    view.hide();
    view.show();
    EXPECT_EQ(child<QLabel>(view, "version")->text(), "v1.0");
}

}  // namespace
}  // namespace glidewheel
