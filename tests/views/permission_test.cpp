#include <gtest/gtest.h>

#include <QApplication>
#include <QTabWidget>
#include <QTest>

#include "engine/scroll_interceptor.h"
#include "tests/views/test_platform.h"
#include "tests/views/test_settings.h"
#include "views/content_view.h"
#include "views/general_view.h"
#include "views/menu_popover_view.h"

namespace glidewheel {
namespace {

class PermissionTest : public ::testing::Test {
protected:
    void TearDown() override { test::resetSim(); }

    // The application becoming active again, as when the user returns from the settings that
    // grant access.
    static void activateApplication() {
        emit qApp->applicationStateChanged(Qt::ApplicationInactive);
        emit qApp->applicationStateChanged(Qt::ApplicationActive);
    }

    static bool warningShown(const QWidget& view) {
        const QWidget* warning = view.findChild<QWidget*>("permissionWarning");
        EXPECT_NE(warning, nullptr);
        return warning && warning->isVisibleTo(&view);
    }

    test::TestSettings settings;
};

TEST_F(PermissionTest, StartsFromTheCreatorsValueAndRereadsOnShow) {
    test::sim().trust.trusted = true;
    MenuPopoverView popover(settings.prefs, false, {}, {});
    GeneralView general(settings.prefs, false);
    EXPECT_FALSE(popover.hasPermission());
    EXPECT_TRUE(warningShown(popover));
    EXPECT_TRUE(warningShown(general));

    popover.show();
    general.show();
    EXPECT_TRUE(popover.hasPermission());
    EXPECT_TRUE(general.hasPermission());
    EXPECT_FALSE(warningShown(popover));
    EXPECT_FALSE(warningShown(general));

    // Revoked: the next showing brings the warning back.
    test::sim().trust.trusted = false;
    popover.hide();
    popover.show();
    EXPECT_TRUE(warningShown(popover));
}

TEST_F(PermissionTest, ActivationAddsAndRemovesTheWarning) {
    test::sim().trust.trusted = false;
    MenuPopoverView popover(settings.prefs, false, {}, {});
    GeneralView general(settings.prefs, false);

    test::sim().trust.trusted = true;  // granted while the program was in the background
    activateApplication();
    EXPECT_TRUE(popover.hasPermission());
    EXPECT_TRUE(general.hasPermission());
    EXPECT_FALSE(warningShown(popover));
    EXPECT_FALSE(warningShown(general));

    test::sim().trust.trusted = false;
    activateApplication();
    EXPECT_FALSE(popover.hasPermission());
    EXPECT_FALSE(general.hasPermission());
    EXPECT_TRUE(warningShown(popover));
    EXPECT_TRUE(warningShown(general));
}

TEST_F(PermissionTest, RefreshingOnlyReadsTheTrustState) {
    test::sim().trust.trusted = false;
    MenuPopoverView popover(settings.prefs, false, {}, {});
    popover.show();
    activateApplication();
    ContentView content;
    content.show();
    EXPECT_EQ(test::sim().trust.prompts, 0);
    EXPECT_FALSE(ScrollInterceptor::shared().isRunning());
}

// Records whether the warning was on screen when the General tab first painted.
class FirstPaintProbe : public QObject {
public:
    bool painted = false;
    bool warningAtFirstPaint = false;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && !painted) {
            painted = true;
            const auto* warning = watched->findChild<QWidget*>("permissionWarning");
            warningAtFirstPaint = warning && warning->isVisible();
        }
        return false;
    }
};

TEST_F(PermissionTest, SettingsOpenedUntrustedShowTheWarningFromTheFirstFrame) {
    test::sim().trust.trusted = false;
    ContentView content;
    auto* general = content.findChild<GeneralView*>();
    ASSERT_NE(general, nullptr);
    EXPECT_FALSE(general->hasPermission());
    FirstPaintProbe probe;
    general->installEventFilter(&probe);
    content.resize(360, 340);
    content.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&content));
    QApplication::processEvents();
    ASSERT_TRUE(probe.painted);
    EXPECT_TRUE(probe.warningAtFirstPaint);
}

TEST_F(PermissionTest, SettingsOpenedTrustedShowNoWarning) {
    ContentView content;
    content.show();
    auto* general = content.findChild<GeneralView*>();
    ASSERT_NE(general, nullptr);
    EXPECT_TRUE(general->hasPermission());
    EXPECT_FALSE(warningShown(*general));
}

}  // namespace
}  // namespace glidewheel
