#include <gtest/gtest.h>

#include <memory>

#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QTabWidget>

#include "app/app_delegate.h"
#include "app/popup_panel.h"
#include "app/settings_window.h"
#include "engine/scroll_interceptor.h"
#include "tests/app/recording_backend.h"
#include "tests/app/test_support.h"

namespace glidewheel::testing {
namespace {

class ShellWindows : public ::testing::Test {
protected:
    void SetUp() override {
        backend().sim.userDefaults.setBool("hasLaunchedBefore", true);
        delegate_ = std::make_unique<AppDelegate>();
        delegate_->applicationDidFinishLaunching();
    }
    void TearDown() override {
        ScrollInterceptor::shared().stop();
        delegate_.reset();
        settle();
    }

    static QTabWidget* tabsOf(QWidget* window) { return window->findChild<QTabWidget*>(); }
    static QRect availableArea() { return QGuiApplication::primaryScreen()->availableGeometry(); }

    std::unique_ptr<AppDelegate> delegate_;
};

TEST_F(ShellWindows, SettingsWindowIsTitledFixedClosableAndCentred) {
    delegate_->openSettings();
    SettingsWindow* window = delegate_->settingsWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->windowTitle(), "Glidewheel Settings");
    EXPECT_EQ(window->size(), QSize(360, 340));
    EXPECT_EQ(window->minimumSize(), window->maximumSize()) << "resizable";
    const Qt::WindowFlags flags = window->windowFlags();
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
    EXPECT_TRUE(flags & Qt::WindowTitleHint);
    EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    ASSERT_NE(tabsOf(window), nullptr);
    const QPoint offCentre = window->geometry().center() - availableArea().center();
    EXPECT_LE(offCentre.manhattanLength(), 1);
}

TEST_F(ShellWindows, ReopeningRaisesTheSameWindowWithItsTabKept) {
    delegate_->openSettings();
    QPointer<SettingsWindow> window = delegate_->settingsWindow();
    tabsOf(window)->setCurrentIndex(1);
    window->hide();  // behind other windows, or minimised: not on screen

    delegate_->openSettings();
    settle();
    EXPECT_EQ(delegate_->settingsWindow(), window.data());
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(tabsOf(window)->currentIndex(), 1);
    EXPECT_EQ(settingsWindowCount(), 1);
}

TEST_F(ShellWindows, ClosingForgetsTheWindowAndTheNextOpeningBuildsAFreshOne) {
    delegate_->openSettings();
    QPointer<SettingsWindow> first = delegate_->settingsWindow();
    tabsOf(first)->setCurrentIndex(1);
    QWidget other;
    delegate_->windowWillClose(&other);
    EXPECT_EQ(delegate_->settingsWindow(), first.data()) << "another window's closing counted";

    EXPECT_TRUE(first->close());
    EXPECT_EQ(delegate_->settingsWindow(), nullptr);
    settle();
    EXPECT_TRUE(first.isNull()) << "the closed window was kept";

    delegate_->openSettings();
    SettingsWindow* second = delegate_->settingsWindow();
    ASSERT_NE(second, nullptr);
    EXPECT_TRUE(second->isVisible());
    EXPECT_EQ(tabsOf(second)->currentIndex(), 0) << "a new window opens on General";
    EXPECT_EQ(settingsWindowCount(), 1);
}

TEST_F(ShellWindows, IconTogglesThePopupAtItsSizeInsideTheScreen) {
    PopupPanel* popover = delegate_->popover();
    ASSERT_NE(popover, nullptr);
    EXPECT_TRUE(popover->windowFlags().testFlag(Qt::Popup));

    emit delegate_->statusItem()->activated();
    ASSERT_TRUE(popover->isVisible());
    EXPECT_EQ(popover->size(), QSize(300, 340));
    EXPECT_TRUE(availableArea().contains(popover->geometry())) << "off screen";
    EXPECT_EQ(QApplication::activePopupWidget(), popover);
    EXPECT_NE(popover->focusWidget(), nullptr) << "no control takes the keys";

    const QWidget* content = popover->content();
    emit delegate_->statusItem()->activated();
    EXPECT_FALSE(popover->isVisible());
    emit delegate_->statusItem()->activated();
    EXPECT_TRUE(popover->isVisible());
    EXPECT_EQ(popover->content(), content) << "the popup is built once";
    popover->close();
}

TEST_F(ShellWindows, PopupSettingsActionClosesThePopupThenOpensSettings) {
    delegate_->togglePopover();
    PopupPanel* popover = delegate_->popover();
    ASSERT_TRUE(popover->isVisible());
    QAbstractButton* settings = buttonTitled(*popover, "Settings...");
    ASSERT_NE(settings, nullptr);

    settings->click();
    EXPECT_FALSE(popover->isVisible());
    ASSERT_NE(delegate_->settingsWindow(), nullptr);
    EXPECT_TRUE(delegate_->settingsWindow()->isVisible());
}

}  // namespace
}  // namespace glidewheel::testing
