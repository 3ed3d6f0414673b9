#include "settings/preferences.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <variant>
#include <vector>

#include "platform/sim/sim_platform.h"

namespace glidewheel {
namespace {

using namespace glidewheel::platform;
using ::testing::ElementsAre;

class PreferencesTest : public ::testing::Test {
protected:
    sim::SimUserDefaults defaults;
    sim::SimLoginItems loginItems;
    Preferences preferences{defaults, loginItems};

    template <class T>
    T stored(const std::string& key) {
        const auto it = defaults.stored().find(key);
        if (it == defaults.stored().end()) {
            ADD_FAILURE() << key << " was not stored";
            return T{};
        }
        if (!std::holds_alternative<T>(it->second)) {
            ADD_FAILURE() << key << " was stored with the wrong type";
            return T{};
        }
        return std::get<T>(it->second);
    }
};

TEST_F(PreferencesTest, EmptyDomainGivesTheDefaultsAndLoadingWritesNothing) {
    EXPECT_TRUE(preferences.isEnabled());
    EXPECT_EQ(preferences.scrollSpeed(), 1.0);
    EXPECT_EQ(preferences.smoothness(), 0.5);
    EXPECT_FALSE(preferences.reverseScroll());
    EXPECT_FALSE(preferences.launchAtLogin());
    EXPECT_TRUE(defaults.stored().empty());
    EXPECT_EQ(defaults.writes(), 0);
    EXPECT_TRUE(loginItems.calls.empty());
}

TEST_F(PreferencesTest, EachSetterStoresItsOwnKeyWithItsOwnType) {
    preferences.setIsEnabled(false);
    preferences.setScrollSpeed(2.25);
    preferences.setSmoothness(0.5);  // equal to the default, stored all the same
    preferences.setReverseScroll(true);
    preferences.setLaunchAtLogin(true);
    EXPECT_EQ(stored<bool>("isEnabled"), false);
    EXPECT_EQ(stored<double>("scrollSpeed"), 2.25);
    EXPECT_EQ(stored<double>("smoothness"), 0.5);
    EXPECT_EQ(stored<bool>("reverseScroll"), true);
    EXPECT_EQ(stored<bool>("launchAtLogin"), true);
    EXPECT_EQ(defaults.stored().size(), 5u);

    EXPECT_FALSE(preferences.isEnabled());
    EXPECT_EQ(preferences.scrollSpeed(), 2.25);
    EXPECT_TRUE(preferences.reverseScroll());
    EXPECT_TRUE(preferences.launchAtLogin());
}

TEST_F(PreferencesTest, ValuesAreNeitherCheckedNorClamped) {
    preferences.setScrollSpeed(7.5);
    preferences.setSmoothness(-3.0);
    EXPECT_EQ(preferences.scrollSpeed(), 7.5);
    EXPECT_EQ(stored<double>("scrollSpeed"), 7.5);
    EXPECT_EQ(stored<double>("smoothness"), -3.0);
}

TEST_F(PreferencesTest, SubscribersHearTheNewValueBeforeItIsStored) {
    std::vector<std::string> log;
    auto willChange = preferences.objectWillChange().sink([&] {
        log.push_back("willChange speed=" + std::to_string(preferences.scrollSpeed()) +
                      " stored=" + std::to_string(defaults.doubleForKey("scrollSpeed")));
    });
    auto stream = preferences.scrollSpeedStream().dropFirst().sink([&](const double& value) {
        log.push_back("stream " + std::to_string(value) +
                      " speed=" + std::to_string(preferences.scrollSpeed()) +
                      " stored=" + std::to_string(defaults.doubleForKey("scrollSpeed")));
    });
    preferences.setScrollSpeed(3.0);
    EXPECT_THAT(log, ElementsAre("willChange speed=1.000000 stored=1.000000",
                                 "stream 3.000000 speed=1.000000 stored=1.000000"));
    EXPECT_EQ(preferences.scrollSpeed(), 3.0);
    EXPECT_EQ(stored<double>("scrollSpeed"), 3.0);
}

TEST_F(PreferencesTest, LoginItemFollowsEveryAssignmentAfterItIsStored) {
    bool storedWhenRegistering = false;
    auto probe = preferences.launchAtLoginStream().dropFirst().sink(
        [&](const bool&) { storedWhenRegistering = defaults.boolForKey("launchAtLogin"); });
    preferences.setLaunchAtLogin(true);
    EXPECT_FALSE(storedWhenRegistering);
    EXPECT_EQ(loginItems.currentStatus, LoginItemStatus::enabled);
    preferences.setLaunchAtLogin(false);
    preferences.setLaunchAtLogin(false);  // no comparison with the old value
    EXPECT_THAT(loginItems.calls, ElementsAre("register", "unregister", "unregister"));
    EXPECT_EQ(defaults.writes(), 3);
}

TEST_F(PreferencesTest, UnchangedAssignmentSignalsAndStoresAgain) {
    int signals = 0;
    int deliveries = 0;
    auto willChange = preferences.objectWillChange().sink([&] { ++signals; });
    auto stream =
        preferences.isEnabledStream().dropFirst().sink([&](const bool&) { ++deliveries; });
    preferences.setIsEnabled(true);
    preferences.setIsEnabled(true);
    EXPECT_EQ(signals, 2);
    EXPECT_EQ(deliveries, 2);
    EXPECT_EQ(defaults.writes(), 2);
}

TEST_F(PreferencesTest, FailedLoginItemUpdatePrintsOneLineAndKeepsTheValue) {
    loginItems.registerFailure = "Operation not permitted";
    ::testing::internal::CaptureStdout();
    preferences.setLaunchAtLogin(true);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "[Glidewheel] Failed to update login item: Operation not permitted\n");
    EXPECT_TRUE(preferences.launchAtLogin());
    EXPECT_EQ(stored<bool>("launchAtLogin"), true);

    loginItems.unregisterFailure = "Invalid argument";
    ::testing::internal::CaptureStdout();
    preferences.setLaunchAtLogin(false);
    preferences.setIsEnabled(false);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "[Glidewheel] Failed to update login item: Invalid argument\n");
    EXPECT_FALSE(preferences.launchAtLogin());

    loginItems.registerFailure.reset();
    ::testing::internal::CaptureStdout();
    preferences.setLaunchAtLogin(true);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "") << "success prints nothing";
}

TEST_F(PreferencesTest, NextRunLoadsWhatThisRunSet) {
    preferences.setIsEnabled(false);
    preferences.setScrollSpeed(4.0);
    preferences.setSmoothness(0.9);
    preferences.setReverseScroll(true);
    preferences.setLaunchAtLogin(true);
    const int writes = defaults.writes();

    defaults.restart();
    loginItems.calls.clear();
    Preferences next(defaults, loginItems);
    EXPECT_FALSE(next.isEnabled());
    EXPECT_EQ(next.scrollSpeed(), 4.0);
    EXPECT_EQ(next.smoothness(), 0.9);
    EXPECT_TRUE(next.reverseScroll());
    EXPECT_TRUE(next.launchAtLogin());
    EXPECT_EQ(defaults.writes(), writes);
    EXPECT_TRUE(loginItems.calls.empty());
}

TEST_F(PreferencesTest, EveryStreamCarriesItsOwnProperty) {
    std::vector<std::string> heard;
    auto a = preferences.isEnabledStream().dropFirst().sink(
        [&](const bool& v) { heard.push_back("isEnabled " + std::to_string(v)); });
    auto b = preferences.scrollSpeedStream().dropFirst().sink(
        [&](const double& v) { heard.push_back("scrollSpeed " + std::to_string(v)); });
    auto c = preferences.smoothnessStream().dropFirst().sink(
        [&](const double& v) { heard.push_back("smoothness " + std::to_string(v)); });
    auto d = preferences.reverseScrollStream().dropFirst().sink(
        [&](const bool& v) { heard.push_back("reverseScroll " + std::to_string(v)); });
    auto e = preferences.launchAtLoginStream().dropFirst().sink(
        [&](const bool& v) { heard.push_back("launchAtLogin " + std::to_string(v)); });
    preferences.setSmoothness(0.25);
    preferences.setReverseScroll(true);
    preferences.setIsEnabled(false);
    preferences.setLaunchAtLogin(true);
    preferences.setScrollSpeed(1.5);
    EXPECT_THAT(heard, ElementsAre("smoothness 0.250000", "reverseScroll 1", "isEnabled 0",
                                   "launchAtLogin 1", "scrollSpeed 1.500000"));
}

TEST_F(PreferencesTest, NewSubscriberHearsTheCurrentValueAtOnceUnlessDropped) {
    preferences.setIsEnabled(false);
    std::vector<bool> all;
    std::vector<bool> later;
    auto a = preferences.isEnabledStream().sink([&](const bool& v) { all.push_back(v); });
    auto b =
        preferences.isEnabledStream().dropFirst().sink([&](const bool& v) { later.push_back(v); });
    EXPECT_THAT(all, ElementsAre(false));
    EXPECT_TRUE(later.empty());
    preferences.setIsEnabled(true);
    EXPECT_THAT(all, ElementsAre(false, true));
    EXPECT_THAT(later, ElementsAre(true));
}

TEST_F(PreferencesTest, DestroyedOrCancelledTokensHearNothingMore) {
    int heard = 0;
    {
        auto token =
            preferences.scrollSpeedStream().dropFirst().sink([&](const double&) { ++heard; });
        preferences.setScrollSpeed(2.0);
    }
    preferences.setScrollSpeed(3.0);
    auto signal = preferences.objectWillChange().sink([&] { ++heard; });
    signal.cancel();
    preferences.setScrollSpeed(4.0);
    EXPECT_EQ(heard, 1);
}

TEST_F(PreferencesTest, TokenCancelledDuringADeliveryIsNotCalledInIt) {
    std::vector<std::string> heard;
    Cancellable second;
    Cancellable first = preferences.smoothnessStream().dropFirst().sink([&](const double&) {
        heard.push_back("first");
        second.cancel();
        first.cancel();  // cancelling itself while running is safe
    });
    second = preferences.smoothnessStream().dropFirst().sink(
        [&](const double&) { heard.push_back("second"); });
    preferences.setSmoothness(0.1);
    preferences.setSmoothness(0.2);
    EXPECT_THAT(heard, ElementsAre("first"));
}

TEST(SharedPreferences, ThreadsRacingToTheFirstUseGetOneInstanceLoadedFromTheBackend) {
    // Leaked, so that it outlives the shared instance at exit.
    auto* platform = new sim::SimPlatform;
    platform->userDefaults.setDouble("scrollSpeed", 2.5);
    platform->install();

    Preferences* seen[2] = {nullptr, nullptr};
    std::thread first([&] { seen[0] = &Preferences::shared(); });
    std::thread second([&] { seen[1] = &Preferences::shared(); });
    first.join();
    second.join();
    EXPECT_EQ(seen[0], seen[1]);
    EXPECT_EQ(seen[0], &Preferences::shared());
    EXPECT_EQ(Preferences::shared().scrollSpeed(), 2.5);
    EXPECT_EQ(platform->userDefaults.writes(), 1) << "loading wrote something";
}

}  // namespace
}  // namespace glidewheel
