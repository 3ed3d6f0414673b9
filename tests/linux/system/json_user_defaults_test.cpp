#include "platform/linux/json_user_defaults.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <nlohmann/json.hpp>
#include <regex>

#include "tests/linux/system/test_support.h"

namespace glidewheel::platform::linuxdesktop {
namespace {

using test::readText;
using test::writeText;
using testing::HasSubstr;

const std::map<std::string, UserDefaults::Value> kRegistered{
    {"isEnabled", true}, {"scrollSpeed", 1.0}, {"smoothness", 0.5}, {"reverseScroll", false}};

class JsonUserDefaultsTest : public testing::Test {
protected:
    std::unique_ptr<JsonUserDefaults> open() {
        auto defaults = std::make_unique<JsonUserDefaults>(file);
        defaults->registerDefaults(kRegistered);
        return defaults;
    }
    nlohmann::json fileJson() const { return nlohmann::json::parse(readText(file)); }
    std::vector<std::filesystem::path> asideFiles() const {
        std::vector<std::filesystem::path> found;
        for (const auto& entry : std::filesystem::directory_iterator(file.parent_path())) {
            if (entry.path().filename().string().starts_with("defaults.json.corrupt-")) {
                found.push_back(entry.path());
            }
        }
        return found;
    }

    test::TempDir dir;
    std::filesystem::path file = dir / "glidewheel" / "defaults.json";
};

TEST_F(JsonUserDefaultsTest, MissingFileReadsAsRegisteredDefaultsAndLoadingWritesNothing) {
    auto defaults = open();
    EXPECT_TRUE(defaults->boolForKey("isEnabled"));
    EXPECT_DOUBLE_EQ(defaults->doubleForKey("smoothness"), 0.5);
    EXPECT_FALSE(defaults->boolForKey("neverRegistered"));
    EXPECT_DOUBLE_EQ(defaults->doubleForKey("neverRegistered"), 0.0);
    EXPECT_FALSE(std::filesystem::exists(file));
}

TEST_F(JsonUserDefaultsTest, ValuesSetSurviveIntoTheNextInstanceAsTypedJson) {
    {
        auto defaults = open();
        defaults->setBool("isEnabled", false);
        defaults->setDouble("scrollSpeed", 7.5);
        defaults->setDouble("smoothness", 0.5);  // equal to its default: stored all the same
        defaults->setBool("hasLaunchedBefore", true);
    }
    // Each set went to disk at once, as booleans and numbers; registered keys never set are
    // absent.
    const nlohmann::json json = fileJson();
    EXPECT_TRUE(json.at("isEnabled").is_boolean());
    EXPECT_TRUE(json.at("scrollSpeed").is_number_float());
    EXPECT_EQ(json.at("scrollSpeed").get<double>(), 7.5);
    EXPECT_TRUE(json.at("smoothness").is_number());
    EXPECT_TRUE(json.at("hasLaunchedBefore").get<bool>());
    EXPECT_FALSE(json.contains("reverseScroll"));
    EXPECT_EQ(json.size(), 4u);

    auto next = open();
    EXPECT_FALSE(next->boolForKey("isEnabled"));
    EXPECT_DOUBLE_EQ(next->doubleForKey("scrollSpeed"), 7.5);
    EXPECT_DOUBLE_EQ(next->doubleForKey("smoothness"), 0.5);
    EXPECT_TRUE(next->boolForKey("hasLaunchedBefore"));
    EXPECT_FALSE(next->boolForKey("reverseScroll"));
}

TEST_F(JsonUserDefaultsTest, DoublesKeepEveryBitAcrossTheFile) {
    const double value = 0.1 + 0.2;  // not representable in few digits
    open()->setDouble("scrollSpeed", value);
    EXPECT_EQ(open()->doubleForKey("scrollSpeed"), value);
}

TEST_F(JsonUserDefaultsTest, StoredValuesConvertBetweenTypesAndOtherTypesFallBackToDefaults) {
    std::filesystem::create_directories(file.parent_path());
    writeText(file, R"({"isEnabled": 0, "reverseScroll": 2.5, "scrollSpeed": true,
                        "smoothness": 3, "text": "yes", "nothing": null})");
    auto defaults = open();
    defaults->registerDefaults({{"text", 4.0}});
    EXPECT_FALSE(defaults->boolForKey("isEnabled"));           // number 0 -> false
    EXPECT_TRUE(defaults->boolForKey("reverseScroll"));        // non-zero -> true
    EXPECT_DOUBLE_EQ(defaults->doubleForKey("scrollSpeed"), 1.0);  // true -> 1.0
    EXPECT_DOUBLE_EQ(defaults->doubleForKey("smoothness"), 3.0);   // JSON integer
    EXPECT_DOUBLE_EQ(defaults->doubleForKey("text"), 4.0);     // string -> registered default
    EXPECT_TRUE(defaults->boolForKey("text"));
    EXPECT_FALSE(defaults->boolForKey("nothing"));             // null, nothing registered
}

TEST_F(JsonUserDefaultsTest, KeysOfOtherTypesAndUnknownKeysSurviveLaterWrites) {
    std::filesystem::create_directories(file.parent_path());
    writeText(file, R"({"window": {"x": 3, "y": [1, 2]}, "scrollSpeed": "fast", "note": "mine"})");
    {
        auto defaults = open();
        EXPECT_DOUBLE_EQ(defaults->doubleForKey("scrollSpeed"), 1.0);
        defaults->setDouble("smoothness", 0.25);
    }
    const nlohmann::json json = fileJson();
    EXPECT_EQ(json.at("window"), nlohmann::json::parse(R"({"x": 3, "y": [1, 2]})"));
    EXPECT_EQ(json.at("scrollSpeed"), "fast");
    EXPECT_EQ(json.at("note"), "mine");
    EXPECT_EQ(json.at("smoothness"), 0.25);
}

TEST_F(JsonUserDefaultsTest, ACorruptFileIsMovedAsideAndTheDefaultsRule) {
    std::filesystem::create_directories(file.parent_path());
    for (const std::string broken : {R"({"isEnabled": fal)", "[false, 2.0]", ""}) {
        SCOPED_TRACE(broken);
        const auto asideBefore = asideFiles().size();
        writeText(file, broken);
        testing::internal::CaptureStderr();
        auto defaults = open();
        EXPECT_THAT(testing::internal::GetCapturedStderr(), HasSubstr("corrupt-"));

        EXPECT_TRUE(defaults->boolForKey("isEnabled"));
        EXPECT_FALSE(std::filesystem::exists(file));
        // A second corrupt file within the same second gets a name of its own.
        const auto aside = asideFiles();
        ASSERT_EQ(aside.size(), asideBefore + 1);
        bool kept = false;
        for (const auto& path : aside) kept = kept || readText(path) == broken;
        EXPECT_TRUE(kept);
    }
    const std::regex name(R"(defaults\.json\.corrupt-\d{8}T\d{6}Z(-\d+)?)");
    for (const auto& path : asideFiles()) {
        EXPECT_TRUE(std::regex_match(path.filename().string(), name)) << path;
    }

    // Settings saved afterwards start a fresh file and leave the kept ones alone.
    open()->setBool("reverseScroll", true);
    EXPECT_TRUE(fileJson().at("reverseScroll").get<bool>());
    EXPECT_EQ(asideFiles().size(), 3u);
}

TEST_F(JsonUserDefaultsTest, AnUnwritableDirectoryKeepsValuesInMemoryAndReportsOnce) {
    writeText(dir / "blocker", "a file where the settings directory should be");
    JsonUserDefaults defaults(dir / "blocker" / "defaults.json");

    testing::internal::CaptureStderr();
    defaults.setDouble("scrollSpeed", 3.0);
    defaults.setBool("isEnabled", false);
    const std::string log = testing::internal::GetCapturedStderr();

    EXPECT_DOUBLE_EQ(defaults.doubleForKey("scrollSpeed"), 3.0);
    EXPECT_FALSE(defaults.boolForKey("isEnabled"));
    EXPECT_THAT(log, HasSubstr("Not a directory"));
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1) << log;
    EXPECT_EQ(readText(dir / "blocker"), "a file where the settings directory should be");
}

TEST_F(JsonUserDefaultsTest, AFileThatCannotBeReadIsNeverOverwritten) {
    std::filesystem::create_directories(file);  // a directory in the file's place
    writeText(file / "inside", "keep");
    testing::internal::CaptureStderr();
    auto defaults = open();
    defaults->setBool("isEnabled", false);
    EXPECT_THAT(testing::internal::GetCapturedStderr(), HasSubstr("Is a directory"));

    EXPECT_FALSE(defaults->boolForKey("isEnabled"));
    EXPECT_TRUE(std::filesystem::is_directory(file));
    EXPECT_EQ(readText(file / "inside"), "keep");
}

TEST_F(JsonUserDefaultsTest, NonFiniteNumbersStayInMemoryAndTheFileKeepsItsLastValue) {
    auto defaults = open();
    defaults->setDouble("scrollSpeed", 2.0);
    testing::internal::CaptureStderr();
    defaults->setDouble("scrollSpeed", std::nan(""));
    defaults->setDouble("smoothness", INFINITY);
    testing::internal::GetCapturedStderr();
    defaults->setBool("reverseScroll", true);  // a later write of another key

    EXPECT_TRUE(std::isnan(defaults->doubleForKey("scrollSpeed")));
    EXPECT_TRUE(std::isinf(defaults->doubleForKey("smoothness")));
    const nlohmann::json json = fileJson();
    EXPECT_EQ(json.at("scrollSpeed"), 2.0);
    EXPECT_FALSE(json.contains("smoothness"));

    // A finite value set afterwards is saved again.
    defaults->setDouble("scrollSpeed", 4.0);
    EXPECT_DOUBLE_EQ(open()->doubleForKey("scrollSpeed"), 4.0);
}

TEST_F(JsonUserDefaultsTest, WritesReplaceTheFileInPlaceKeepingLinksAndPermissions) {
    // Settings kept with the user's other dotfiles: the link stays and its target changes.
    std::filesystem::create_directories(file.parent_path());
    writeText(dir / "dotfiles.json", R"({"isEnabled": true})");
    std::filesystem::permissions(dir / "dotfiles.json", std::filesystem::perms(0640));
    std::filesystem::create_symlink(dir / "dotfiles.json", file);

    auto defaults = open();
    for (int i = 0; i < 3; ++i) defaults->setDouble("scrollSpeed", i);

    EXPECT_TRUE(std::filesystem::is_symlink(file));
    const auto json = nlohmann::json::parse(readText(dir / "dotfiles.json"));
    EXPECT_EQ(json.at("scrollSpeed"), 2.0);
    EXPECT_EQ(json.at("isEnabled"), true);
    EXPECT_EQ(std::filesystem::status(dir / "dotfiles.json").permissions(),
              std::filesystem::perms(0640));
    // No temporary files left behind in either directory.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(file.parent_path()), {}), 1);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);
}

TEST(JsonUserDefaultsFile, FollowsXdgConfigHomeWhenItIsAbsolute) {
    test::ScopedEnv home("HOME", "/home/someone");
    {
        test::ScopedEnv xdg("XDG_CONFIG_HOME", "/tmp/config");
        EXPECT_EQ(JsonUserDefaults::defaultFile(), "/tmp/config/glidewheel/defaults.json");
    }
    for (const std::optional<std::string>& ignored :
         {std::optional<std::string>{}, {""}, {"rel/dir"}}) {
        test::ScopedEnv xdg("XDG_CONFIG_HOME", ignored);
        EXPECT_EQ(JsonUserDefaults::defaultFile(), "/home/someone/.config/glidewheel/defaults.json");
    }
    test::ScopedEnv noHome("HOME", std::nullopt);
    test::ScopedEnv noXdg("XDG_CONFIG_HOME", std::nullopt);
    EXPECT_TRUE(JsonUserDefaults::defaultFile().is_absolute());
}

}  // namespace
}  // namespace glidewheel::platform::linuxdesktop
