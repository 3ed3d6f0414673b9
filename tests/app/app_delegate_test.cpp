#include <gtest/gtest.h>

#include <memory>

#include <QTimer>

#include "app/app_delegate.h"
#include "engine/scroll_interceptor.h"
#include "settings/preferences.h"
#include "tests/app/recording_backend.h"
#include "tests/app/test_support.h"

namespace glidewheel::testing {
namespace {

using platform::LoginItemStatus;

class AppDelegateLaunch : public ::testing::Test {
protected:
    void SetUp() override {
        RecordingBackend& b = backend();
        ScrollInterceptor::shared().stop();
        b.sim.trust.trusted = true;
        b.sim.trust.prompts = 0;
        b.sim.loginItems.currentStatus = LoginItemStatus::notRegistered;
        preferences().setLaunchAtLogin(false);
        preferences().setIsEnabled(true);
        setFirstLaunch(true);
        b.sim.loginItems.calls.clear();
        b.calls.clear();
    }

    void TearDown() override {
        delegate_.reset();
        settle();
        backend().observed = nullptr;
    }

    static Preferences& preferences() { return Preferences::shared(); }
    static std::size_t taps() { return backend().sim.events.taps().size(); }
    // An absent key and a stored false read the same.
    static void setFirstLaunch(bool first) {
        backend().sim.userDefaults.setBool("hasLaunchedBefore", !first);
    }

    AppDelegate& launch() {
        delegate_ = std::make_unique<AppDelegate>();
        backend().observed = delegate_.get();
        delegate_->applicationDidFinishLaunching();
        return *delegate_;
    }

    std::unique_ptr<AppDelegate> delegate_;
};

TEST_F(AppDelegateLaunch, StepsRunInOrderAndEachFindsThePreviousDone) {
    AppDelegate& delegate = launch();
    const RecordingBackend& b = backend();

    // Trust is read twice: by the popup while it is built, then by the interceptor's start.
    std::vector<Call> trustChecks;
    for (const Call& call : b.calls) {
        if (call.name == "trust.check") trustChecks.push_back(call);
    }
    const auto status = b.indexOf("loginItems.status");
    const auto launchAtLogin = b.indexOf("defaults.set launchAtLogin");
    const auto firstTrustCheck = b.indexOf("trust.check");
    const auto firstLaunchRead = b.indexOf("defaults.get hasLaunchedBefore");
    const auto firstLaunchStored = b.indexOf("defaults.set hasLaunchedBefore");
    ASSERT_TRUE(status && launchAtLogin && firstTrustCheck && firstLaunchRead && firstLaunchStored);
    ASSERT_EQ(trustChecks.size(), 2u);

    // 1. Login-item state into the settings, before anything is built.
    EXPECT_EQ(*status, 0u);
    EXPECT_LT(*status, *launchAtLogin);
    // 2. The popup reads the permission while it is being built, before the tray icon exists.
    EXPECT_LT(*launchAtLogin, *firstTrustCheck);
    EXPECT_FALSE(trustChecks[0].state.popover);
    EXPECT_FALSE(trustChecks[0].state.statusItem);
    // 3, 4. Interception starts once popup and icon exist.
    EXPECT_TRUE(trustChecks[1].state.popover);
    EXPECT_TRUE(trustChecks[1].state.statusItem);
    EXPECT_EQ(trustChecks[1].state.taps, 0u);
    // 5. The first-launch check finds the tap installed and does not open the window itself.
    EXPECT_LT(*firstLaunchRead, *firstLaunchStored);
    EXPECT_EQ(b.calls[*firstLaunchRead].state.taps, 1u);
    EXPECT_FALSE(b.calls[*firstLaunchStored].state.settingsWindow);
    EXPECT_NE(delegate.popover(), nullptr);
    EXPECT_NE(delegate.statusItem(), nullptr);
}

TEST_F(AppDelegateLaunch, FirstLaunchOpensSettingsOnceAfterTheHandlerReturnedAndLaterLaunchesNone) {
    AppDelegate& first = launch();
    EXPECT_TRUE(backend().sim.userDefaults.boolForKey("hasLaunchedBefore"));
    EXPECT_EQ(first.settingsWindow(), nullptr) << "opened inside the launch handler";
    EXPECT_EQ(settingsWindowCount(), 0);

    ASSERT_TRUE(processEventsUntil([&] { return first.settingsWindow() != nullptr; }));
    EXPECT_TRUE(first.settingsWindow()->isVisible());
    settle();
    EXPECT_EQ(settingsWindowCount(), 1);

    // The next run of the program: same stored settings, new delegate.
    ScrollInterceptor::shared().stop();
    delegate_.reset();
    settle();
    ASSERT_EQ(settingsWindowCount(), 0);
    AppDelegate& second = launch();
    settle();
    EXPECT_EQ(second.settingsWindow(), nullptr);
    EXPECT_EQ(settingsWindowCount(), 0);
}

TEST_F(AppDelegateLaunch, DelegateGoneBeforeTheFirstLaunchTaskRunsOpensNothing) {
    launch();
    delegate_.reset();
    settle();
    EXPECT_EQ(settingsWindowCount(), 0);
}

TEST_F(AppDelegateLaunch, EnabledAtLaunchStartsOnceNotAgainFromTheSubscription) {
    // Without trust every start prompts, so the prompts count the starts.
    backend().sim.trust.trusted = false;
    setFirstLaunch(false);
    launch();
    EXPECT_EQ(backend().sim.trust.prompts, 1);
    EXPECT_EQ(taps(), 0u);
}

TEST_F(AppDelegateLaunch, IsEnabledSwitchesTheTapOffAndOn) {
    preferences().setIsEnabled(false);
    setFirstLaunch(false);
    launch();
    EXPECT_EQ(taps(), 0u);

    preferences().setIsEnabled(true);
    ASSERT_EQ(taps(), 1u);
    EXPECT_TRUE(backend().sim.events.taps()[0].enabled);
    preferences().setIsEnabled(false);
    EXPECT_EQ(taps(), 0u);
    preferences().setIsEnabled(true);
    EXPECT_EQ(taps(), 1u);
}

TEST_F(AppDelegateLaunch, GrantingTrustLaterDoesNotStartByItselfButTheNextSwitchOnDoes) {
    backend().sim.trust.trusted = false;
    setFirstLaunch(false);
    launch();
    backend().sim.trust.trusted = true;
    settle();
    EXPECT_EQ(taps(), 0u);
    preferences().setIsEnabled(false);
    preferences().setIsEnabled(true);
    EXPECT_EQ(taps(), 1u);
}

TEST_F(AppDelegateLaunch, LoginItemStateIsWrittenIntoLaunchAtLoginBothWays) {
    backend().sim.loginItems.currentStatus = LoginItemStatus::enabled;
    setFirstLaunch(false);
    launch();
    EXPECT_TRUE(preferences().launchAtLogin());
    EXPECT_EQ(backend().sim.userDefaults.stored().at("launchAtLogin"),
              platform::UserDefaults::Value(true));
    EXPECT_EQ(backend().sim.loginItems.calls, std::vector<std::string>{"register"});

    delegate_.reset();
    backend().sim.loginItems.calls.clear();
    for (auto status : {LoginItemStatus::notRegistered, LoginItemStatus::requiresApproval,
                        LoginItemStatus::notFound}) {
        SCOPED_TRACE(static_cast<int>(status));
        preferences().setLaunchAtLogin(true);
        backend().sim.loginItems.calls.clear();
        backend().sim.loginItems.currentStatus = status;
        ScrollInterceptor::shared().stop();
        launch();
        EXPECT_FALSE(preferences().launchAtLogin());
        EXPECT_EQ(backend().sim.userDefaults.stored().at("launchAtLogin"),
                  platform::UserDefaults::Value(false));
        EXPECT_EQ(backend().sim.loginItems.calls, std::vector<std::string>{"unregister"});
        delegate_.reset();
    }
}

TEST_F(AppDelegateLaunch, QuitFromThePopupStopsTheTapAndEndsTheLoop) {
    setFirstLaunch(false);
    delegate_ = std::make_unique<AppDelegate>();
    backend().observed = delegate_.get();
    attach(*delegate_, *QCoreApplication::instance());

    std::size_t tapsBeforeQuit = 0;
    QTimer::singleShot(0, [&] {
        tapsBeforeQuit = taps();
        QAbstractButton* quit =
            delegate_->popover() ? buttonTitled(*delegate_->popover(), "Quit") : nullptr;
        if (quit != nullptr) {
            quit->click();
        } else {
            ADD_FAILURE() << "no Quit button in the popup";
            QCoreApplication::exit(2);
        }
    });
    QTimer::singleShot(std::chrono::seconds(20), [] { QCoreApplication::exit(3); });  // never hang

    EXPECT_EQ(QCoreApplication::exec(), 0);
    EXPECT_EQ(tapsBeforeQuit, 1u);
    EXPECT_EQ(taps(), 0u);
    EXPECT_FALSE(ScrollInterceptor::shared().isRunning());
}

}  // namespace
}  // namespace glidewheel::testing
