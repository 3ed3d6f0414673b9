// SPDX-License-Identifier: MIT

#include <gtest/gtest.h>

#include <csignal>
#include <memory>

#include <QAbstractButton>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QTabWidget>
#include <QTimer>

#include "app/glidewheel_app.h"
#include "app/quit_on_signals.h"
#include "engine/scroll_interceptor.h"
#include "settings/preferences.h"
#include "tests/app/test_support.h"
#include "tests/support/qt_test_main.h"

namespace glidewheel::testing {

// The program's own application object, so that its settings (staying alive when the last window
// closes) are the ones under test.
std::unique_ptr<QApplication> makeTestApplication(int& argc, char** argv) {
    auto application = std::make_unique<GlidewheelApp>(argc, argv);
    backend().install();
    return application;
}

namespace {

using platform::LoginItemStatus;

class AppDelegateLaunch : public ::testing::Test {
protected:
    void SetUp() override {
        ScrollInterceptor::shared().stop();
        backend().sim.trust = {};
        backend().sim.loginItems.currentStatus = LoginItemStatus::notRegistered;
        prefs().setIsEnabled(true);
        backend().sim.userDefaults.setBool("hasLaunchedBefore", true);
        backend().log.clear();
    }
    void TearDown() override {
        ScrollInterceptor::shared().stop();
        delegate_.reset();
        settle();
        backend().observed = nullptr;
    }

    static Preferences& prefs() { return Preferences::shared(); }
    static std::size_t taps() { return backend().sim.events.taps().size(); }
    AppDelegate& launch(bool first = false) {
        if (first) backend().sim.userDefaults.setBool("hasLaunchedBefore", false);
        delegate_ = std::make_unique<AppDelegate>();
        backend().observed = delegate_.get();
        delegate_->applicationDidFinishLaunching();
        return *delegate_;
    }

    std::unique_ptr<AppDelegate> delegate_;
};

// The first launch's steps run in order, each finding the previous done, and it opens the
// settings once, after the launch handler returned, and only for a delegate still there. A later
// launch opening none: the end-to-end test.
TEST_F(AppDelegateLaunch, FirstLaunchRunsItsStepsInOrderThenOpensSettingsOnce) {
    const Cancellable assigned = prefs().launchAtLoginStream().dropFirst().sink(
        [](const bool&) { backend().record("launchAtLogin"); });
    launch(true);
    const std::vector<std::string> expected = {
        "loginItems.status taps=0", "launchAtLogin taps=0",
        "trust taps=0",               // the popup reads the permission while it is built
        "trust popover icon taps=0",  // start, once popup and icon exist
    };
    EXPECT_EQ(backend().log, expected);
    EXPECT_EQ(delegate_->settingsWindow(), nullptr) << "opened inside the launch handler";
    delegate_.reset();
    settle();
    EXPECT_EQ(settingsWindowCount(), 0) << "opened for a delegate that is gone";

    launch(true);
    ASSERT_TRUE(waitUntil([&] { return delegate_->settingsWindow() != nullptr; }, processEvents));
    settle();
    EXPECT_EQ(settingsWindowCount(), 1);
}

TEST_F(AppDelegateLaunch, LoginItemStateIsWrittenIntoLaunchAtLoginBothWays) {
    for (auto status : {LoginItemStatus::enabled, LoginItemStatus::notRegistered,
                        LoginItemStatus::requiresApproval, LoginItemStatus::notFound}) {
        SCOPED_TRACE(static_cast<int>(status));
        const bool enabled = status == LoginItemStatus::enabled;
        prefs().setLaunchAtLogin(!enabled);
        backend().sim.loginItems.calls.clear();
        backend().sim.loginItems.currentStatus = status;
        launch();
        EXPECT_EQ(backend().sim.userDefaults.stored().at("launchAtLogin"),
                  platform::UserDefaults::Value(enabled));
        EXPECT_EQ(backend().sim.loginItems.calls,
                  std::vector<std::string>{enabled ? "register" : "unregister"});
    }
}

// Quit in the panel and SIGTERM end the real program in the end-to-end test; here SIGINT, and
// that the tap is gone by the time the loop ends.
TEST_F(AppDelegateLaunch, QuitBySignalStopsTheTapAndEndsTheLoop) {
    QuitOnSignals quitOnSignals({SIGINT});
    delegate_ = std::make_unique<AppDelegate>();
    attach(*delegate_, *QCoreApplication::instance());
    std::size_t tapsBeforeQuit = 0;
    QTimer::singleShot(0, [&] {
        tapsBeforeQuit = taps();
        std::raise(SIGINT);
    });
    QObject scope;  // the time limit goes with the test
    QTimer::singleShot(std::chrono::seconds(20), &scope, [] { QCoreApplication::exit(3); });
    EXPECT_EQ(QCoreApplication::exec(), 0);
    EXPECT_EQ(tapsBeforeQuit, 1u);
    EXPECT_EQ(taps(), 0u);
}

// The popup is built once; its settings action closes it and opens the settings window, which is
// reused while open, comes back as it was when hidden, and once closed is forgotten without
// ending the program. The icon's clicks toggling the panel, which then takes the keyboard: the
// end-to-end test.
TEST_F(AppDelegateLaunch, ThePopupOpensTheOneSettingsWindowWhichClosingForgetsButQuitsNothing) {
    PopupPanel* popover = launch().popover();
    const QWidget* content = popover->content();
    emit delegate_->statusItem()->activated();
    ASSERT_TRUE(popover->isVisible());
    EXPECT_EQ(popover->content(), content) << "the popup was rebuilt";
    popover->findChild<QAbstractButton*>("openSettings")->click();
    EXPECT_FALSE(popover->isVisible());
    QPointer<SettingsWindow> first = delegate_->settingsWindow();
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(first->isVisible());
    EXPECT_EQ(first->minimumSize(), first->maximumSize()) << "resizable";
    EXPECT_FALSE(first->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_EQ(first->geometry().center(),
              QGuiApplication::primaryScreen()->availableGeometry().center());

    // Hidden behind other windows, it comes back as it was.
    first->findChild<QTabWidget*>()->setCurrentIndex(1);
    first->hide();
    delegate_->openSettings();
    EXPECT_EQ(delegate_->settingsWindow(), first.data());
    EXPECT_TRUE(first->isVisible());
    EXPECT_EQ(first->findChild<QTabWidget*>()->currentIndex(), 1);

    QWidget other;
    delegate_->windowWillClose(&other);
    EXPECT_EQ(delegate_->settingsWindow(), first.data()) << "another window's closing counted";
    QTimer::singleShot(0, first, &QWidget::close);
    QTimer::singleShot(300, [] { QCoreApplication::exit(7); });
    EXPECT_EQ(QCoreApplication::exec(), 7) << "closing the last window quit the program";
    EXPECT_TRUE(first.isNull()) << "the closed window was kept";

    delegate_->openSettings();
    EXPECT_NE(delegate_->settingsWindow(), nullptr);
    EXPECT_EQ(settingsWindowCount(), 1);
}

// Launching starts interception once. Access granted while the program runs starts it at the
// next check (the panel's showing, an activation, or the access help's word), once, and only
// while it is switched on; a check without access never prompts. The switch starts and stops it.
TEST_F(AppDelegateLaunch, InterceptionStartsAtLaunchOnAccessFoundLaterAndWithTheSwitch) {
    backend().sim.trust.trusted = false;
    launch();
    ASSERT_EQ(backend().sim.trust.prompts, 1);
    delegate_->recheckInputAccess();
    EXPECT_EQ(taps(), 0u);
    EXPECT_EQ(backend().sim.trust.prompts, 1) << "a check without access prompted";

    backend().sim.trust.trusted = true;
    prefs().setIsEnabled(false);
    emit qApp->applicationStateChanged(Qt::ApplicationInactive);
    emit qApp->applicationStateChanged(Qt::ApplicationActive);
    EXPECT_EQ(taps(), 0u) << "started while switched off";

    backend().sim.trust.trusted = false;
    prefs().setIsEnabled(true);  // prompts again: the user switched it on
    backend().sim.trust.trusted = true;
    emit delegate_->statusItem()->activated();  // the panel's next showing
    EXPECT_EQ(taps(), 1u);
    delegate_->recheckInputAccess();
    EXPECT_EQ(taps(), 1u) << "started twice";
    prefs().setIsEnabled(false);
    EXPECT_EQ(taps(), 0u);
    prefs().setIsEnabled(true);  // with access: at once
    EXPECT_EQ(taps(), 1u);
}

}  // namespace
}  // namespace glidewheel::testing
