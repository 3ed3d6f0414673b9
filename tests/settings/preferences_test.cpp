// SPDX-License-Identifier: MIT

#include "settings/preferences.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "platform/sim/sim_system.h"

namespace glidewheel {
namespace {

using namespace glidewheel::platform;
using ::testing::ElementsAre;
using Value = UserDefaults::Value;

class PreferencesTest : public ::testing::Test {
protected:
    sim::SimUserDefaults defaults;
    sim::SimLoginItems loginItems;
    Preferences preferences{defaults, loginItems};
};

TEST_F(PreferencesTest, LoadsTheDefaultsWritingNothingAndStoresEachKeyTypedAndUnchecked) {
    EXPECT_EQ(std::make_tuple(preferences.isEnabled(), preferences.scrollSpeed(),
                              preferences.smoothness(), preferences.reverseScroll(),
                              preferences.launchAtLogin()),
              std::make_tuple(true, 1.0, 0.5, false, false));
    EXPECT_EQ(defaults.writes(), 0);

    preferences.setIsEnabled(false);
    preferences.setScrollSpeed(7.5);
    preferences.setSmoothness(-3.0);  // not clamped
    preferences.setReverseScroll(true);
    preferences.setLaunchAtLogin(true);
    EXPECT_EQ(defaults.stored(), (std::map<std::string, Value>{{"isEnabled", false},
                                                               {"scrollSpeed", 7.5},
                                                               {"smoothness", -3.0},
                                                               {"reverseScroll", true},
                                                               {"launchAtLogin", true}}));

    defaults.restart();
    loginItems.calls.clear();
    Preferences next(defaults, loginItems);
    EXPECT_EQ(std::make_tuple(next.isEnabled(), next.scrollSpeed(), next.smoothness(),
                              next.reverseScroll(), next.launchAtLogin()),
              std::make_tuple(false, 7.5, -3.0, true, true));
    EXPECT_EQ(defaults.writes(), 5) << "loading wrote something";
    EXPECT_TRUE(loginItems.calls.empty());
}

// Acceleration is off by default, stored as assigned, and brought into 0…1 as it loads: a value
// outside is clamped and NaN dropped for 0, each with a line on standard error.
TEST_F(PreferencesTest, AccelerationLoadsWithinTheUnitRangeSayingWhatItChanged) {
    EXPECT_EQ(preferences.acceleration(), 0.0);
    const struct {
        double stored, loaded;
        const char* line;
    } cases[] = {
        {0.35, 0.35, ""},
        {1.5, 1.0, "glidewheel: acceleration = 1.5 is outside 0 to 1; using 1\n"},
        {-2.0, 0.0, "glidewheel: acceleration = -2 is outside 0 to 1; using 0\n"},
        {std::nan(""), 0.0, "glidewheel: acceleration = nan is outside 0 to 1; using 0\n"},
    };
    for (const auto& c : cases) {
        preferences.setAcceleration(c.stored);  // assignments are not checked
        const double stored = defaults.doubleForKey("acceleration");
        EXPECT_TRUE(std::isnan(c.stored) ? std::isnan(stored) : stored == c.stored) << c.stored;
        defaults.restart();
        ::testing::internal::CaptureStderr();
        Preferences next(defaults, loginItems);
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), c.line);
        EXPECT_EQ(next.acceleration(), c.loaded);
    }
}

// The lists stay within what the settings file keeps, or a restart would lose the newest
// entries: a new mouse takes the place of the oldest one not present, and an application past
// the last place is refused.
TEST_F(PreferencesTest, ListsStayWithinWhatTheSettingsFileKeeps) {
    std::vector<KnownWheelMouse> mice(kMaxStoredListEntries + 1);
    for (std::size_t i = 0; i < mice.size(); ++i) mice[i].name = "mouse " + std::to_string(i);
    for (std::size_t i = 0; i < kMaxStoredListEntries; ++i)
        EXPECT_TRUE(preferences.addRawWheelApplication("app " + std::to_string(i)));
    preferences.noteWheelMice({mice.begin(), mice.end() - 1});
    preferences.noteWheelMice({mice[1], mice.back()});  // the first unplugged, one more plugged in
    ASSERT_EQ(defaults.wheelMiceForKey("mice").size(), kMaxStoredListEntries);
    EXPECT_EQ(preferences.wheelMice().front().name, "mouse 1");
    EXPECT_EQ(preferences.wheelMice().back().name, "mouse 64");
    EXPECT_FALSE(preferences.addRawWheelApplication("one too many"));
    EXPECT_TRUE(preferences.addRawWheelApplication("APP 3")) << "listed already";
    EXPECT_EQ(defaults.namesForKey("rawWheelApplications").size(), kMaxStoredListEntries);
}

TEST_F(PreferencesTest, EveryAssignmentSignalsAndDeliversBeforeStoringEvenIfUnchanged) {
    std::vector<std::string> log;
    const auto seen = [&] {
        return " held=" + std::to_string(preferences.scrollSpeed()) +
               " stored=" + std::to_string(defaults.doubleForKey("scrollSpeed"));
    };
    auto willChange = preferences.objectWillChange().sink([&] { log.push_back("will" + seen()); });
    auto stream = preferences.scrollSpeedStream().dropFirst().sink(
        [&](const double& v) { log.push_back("value " + std::to_string(v) + seen()); });
    preferences.setScrollSpeed(3.0);
    preferences.setScrollSpeed(3.0);
    EXPECT_THAT(log, ElementsAre("will held=1.000000 stored=1.000000",
                                 "value 3.000000 held=1.000000 stored=1.000000",
                                 "will held=3.000000 stored=3.000000",
                                 "value 3.000000 held=3.000000 stored=3.000000"));
    EXPECT_EQ(defaults.writes(), 2);
}

TEST_F(PreferencesTest, LoginItemFollowsEveryAssignmentAndAFailurePrintsOneLine) {
    preferences.setLaunchAtLogin(true);
    loginItems.registerFailure = "Operation not permitted";
    loginItems.unregisterFailure = "Invalid argument";
    ::testing::internal::CaptureStdout();
    preferences.setLaunchAtLogin(true);
    preferences.setIsEnabled(false);
    preferences.setLaunchAtLogin(false);
    preferences.setLaunchAtLogin(false);  // no comparison with the old value
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "[Glidewheel] Failed to update login item: Operation not permitted\n"
              "[Glidewheel] Failed to update login item: Invalid argument\n"
              "[Glidewheel] Failed to update login item: Invalid argument\n");
    EXPECT_THAT(loginItems.calls, ElementsAre("register", "register", "unregister", "unregister"));
    EXPECT_FALSE(preferences.launchAtLogin()) << "a failure keeps the assigned value";
    EXPECT_EQ(defaults.stored().at("launchAtLogin"), Value(false));
}

TEST_F(PreferencesTest, StreamsDeliverTheCurrentValueThenEachOfTheirOwnPropertyUntilCancelled) {
    std::vector<std::string> heard;
    const auto hear = [&](const char* name) {
        return [&heard, name](const auto& v) { heard.push_back(name + std::to_string(v)); };
    };
    auto a = preferences.isEnabledStream().sink(hear("isEnabled "));
    auto b = preferences.smoothnessStream().dropFirst().sink(hear("smoothness "));
    auto c = preferences.reverseScrollStream().dropFirst().sink(hear("reverseScroll "));
    auto d = preferences.launchAtLoginStream().dropFirst().sink(hear("launchAtLogin "));
    Cancellable second;
    Cancellable first = preferences.scrollSpeedStream().dropFirst().sink([&](const double&) {
        heard.push_back("first");
        second.cancel();  // a later subscriber of the same delivery is not called
        first.cancel();   // cancelling itself while running is safe
    });
    second = preferences.scrollSpeedStream().dropFirst().sink(hear("second "));
    {
        auto scoped = preferences.smoothnessStream().dropFirst().sink(hear("scoped "));
        preferences.setSmoothness(0.25);
    }
    preferences.setReverseScroll(true);
    preferences.setIsEnabled(false);
    preferences.setLaunchAtLogin(true);
    preferences.setScrollSpeed(1.5);
    preferences.setScrollSpeed(2.5);
    preferences.setSmoothness(0.75);
    EXPECT_THAT(heard, ElementsAre("isEnabled 1", "smoothness 0.250000", "scoped 0.250000",
                                   "reverseScroll 1", "isEnabled 0", "launchAtLogin 1", "first",
                                   "smoothness 0.750000"));
}

}  // namespace
}  // namespace glidewheel
