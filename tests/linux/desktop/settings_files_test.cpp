// SPDX-License-Identifier: MIT

// The settings file and the autostart entry: what they hold, and that no failure loses data.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>

#include "platform/linux/base/file_io.h"
#include "platform/linux/desktop/json_user_defaults.h"
#include "platform/linux/desktop/xdg_autostart.h"

namespace glidewheel::platform::linuxdesktop {
namespace {

namespace fs = std::filesystem;
using testing::HasSubstr;

std::string readText(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Works in a fresh temporary directory, removed afterwards.
class FilesTest : public testing::Test {
protected:
    static fs::path makeTempDir() {
        std::string pattern = fs::temp_directory_path() / "glidewheel-XXXXXX";
        return ::mkdtemp(pattern.data()) ? pattern : throw std::runtime_error("mkdtemp");
    }
    ~FilesTest() override { fs::remove_all(dir); }

    std::unique_ptr<JsonUserDefaults> open() {
        auto defaults = std::make_unique<JsonUserDefaults>(file);
        defaults->registerDefaults({{"isEnabled", true}, {"smoothness", 0.5}});
        return defaults;
    }
    nlohmann::json stored() const { return nlohmann::json::parse(readText(file)); }
    std::vector<std::string> others() const {  // files beside the settings file
        std::vector<std::string> found;
        for (const auto& entry : fs::directory_iterator(file.parent_path()))
            if (entry.path() != file) found.push_back(entry.path().filename());
        return found;
    }

    const fs::path dir = makeTempDir();
    const fs::path file = dir / "glidewheel" / "defaults.json";
};

using JsonUserDefaultsTest = FilesTest;

TEST_F(JsonUserDefaultsTest, SetsAreStoredAtOnceAsTypedJsonBesideWhatItDoesNotUnderstand) {
    writeFileAtomically(file, R"({"isEnabled": 0, "reverseScroll": 2.5, "scrollSpeed": true,
                        "smoothness": "high", "window": {"x": 1}})");
    const double exact = 0.1 + 0.2;  // not representable in few digits
    {
        ::testing::internal::CaptureStderr();
        auto defaults = open();
        EXPECT_EQ(::testing::internal::GetCapturedStderr(),
                  "glidewheel: \"smoothness\" in " + file.string() +
                      " is neither a number nor true or false; using its default\n");
        EXPECT_FALSE(defaults->boolForKey("isEnabled"));
        EXPECT_TRUE(defaults->boolForKey("reverseScroll"));
        EXPECT_EQ(defaults->doubleForKey("scrollSpeed"), 1.0);
        EXPECT_EQ(defaults->doubleForKey("smoothness"), 0.5);  // text: the registered default
        defaults->setBool("reverseScroll", false);
        defaults->setDouble("scrollSpeed", exact);
    }
    nlohmann::json expected = nlohmann::json::parse(
        R"({"isEnabled": 0, "reverseScroll": false, "smoothness": "high", "window": {"x": 1}})");
    expected["scrollSpeed"] = exact;
    EXPECT_EQ(stored(), expected);
    EXPECT_EQ(open()->doubleForKey("scrollSpeed"), exact);
    fs::remove(file);
    open()->boolForKey("isEnabled");
    EXPECT_FALSE(fs::exists(file)) << "loading wrote the file";
}

// `depth` arrays inside one another under an unknown key, beside a setting.
std::string nestedFile(int depth, const std::string& innermost = "") {
    return R"({"isEnabled": false, "other": )" + std::string(depth, '[') + innermost +
           std::string(depth, ']') + "}";
}

// A file that is corrupt, too deep to copy or print without exhausting the stack, or printed
// too large is kept aside whole under a name of its own, and the run goes on with the defaults
// and a fresh file; a file within the limits is kept as it was.
TEST_F(JsonUserDefaultsTest, AFileOfTheWrongShapeIsKeptAsideAndTheDefaultsAreUsed) {
    std::string manyOnes = "1";
    for (int i = 0; i < 100'000; ++i) manyOnes += ",1";
    const struct {
        const char* name;
        std::string text;
        bool keptAside = true;
    } cases[] = {
        {"cut short", R"({"isEnabled": fal)"},
        {"not an object", "[false, 2.0]"},
        {"empty", ""},
        {"100,000 deep", nestedFile(100'000)},
        {"5,000 deep", nestedFile(5'000)},
        {"one level too deep", nestedFile(32)},
        {"as deep as allowed", nestedFile(31, "1"), false},
        {"over 1 MiB", R"({"isEnabled": false, "other": ")" + std::string(1 << 20, 'a') + "\"}"},
        {"printed over 1 MiB", nestedFile(20, manyOnes)},  // every 1 indented on its own line
    };
    std::vector<std::string> kept;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        writeFileAtomically(file, c.text);
        testing::internal::CaptureStderr();
        auto defaults = open();
        EXPECT_EQ(testing::internal::GetCapturedStderr().find("corrupt-") != std::string::npos,
                  c.keptAside);
        EXPECT_EQ(defaults->boolForKey("isEnabled"), c.keptAside) << "the file says false";
        defaults->setBool("launchAtLogin", false);  // as every launch does
        nlohmann::json expected =
            c.keptAside ? nlohmann::json::object() : nlohmann::json::parse(c.text);
        expected["launchAtLogin"] = false;
        EXPECT_EQ(stored(), expected);
        if (c.keptAside) kept.push_back(c.text);
        ASSERT_EQ(others().size(), kept.size());
    }
    const std::regex kAside(R"(defaults\.json\.corrupt-\d{8}T\d{6}Z(-\d+)?)");
    std::vector<std::string> aside;
    for (const std::string& name : others()) {
        EXPECT_TRUE(std::regex_match(name, kAside)) << name;
        aside.push_back(readText(file.parent_path() / name));
    }
    EXPECT_TRUE(testing::Matches(testing::UnorderedElementsAreArray(kept))(aside))
        << "not all kept whole";
}

// Each row: the "mice" or "rawWheelApplications" list as the file holds it, and how many of its
// entries are kept. Every entry dropped, and a list cut short, is one line; the file stays as it
// was until the list is set, and a kept list is written back as it was read.
TEST_F(JsonUserDefaultsTest, ListEntriesOfTheWrongShapeAreDroppedWithALineEachAndTheFileKept) {
    const auto mouse = [](const std::string& name, const std::string& vendor,
                          const std::string& more = "") {
        return R"({"name": )" + name + R"(, "vendor": ")" + vendor +
               R"(", "product": "c077", "physicalPath": "usb-1")" + more + "}";
    };
    std::string many = mouse("\"M\"", "046d");
    for (int i = 0; i < 64; ++i) many += "," + mouse("\"M\"", "046d");
    const std::string longName = '"' + std::string(257, 'n') + '"';
    const struct {
        std::string list;
        std::size_t kept;
        std::ptrdiff_t lines;
        const char* key = nullptr;  // the mice's when none
    } cases[] = {
        {"[" + mouse("\"M\"", "046d", R"(, "fineWheel": true, "smooth": false)") + "]", 1, 0},
        {mouse("\"M\"", "046d"), 0, 1},
        {"[1, " + mouse("2", "046d") + "]", 0, 2},
        {"[" + mouse("\"M\"", "46d") + "]", 0, 1},
        {"[" + mouse("\"M\"", "046d", R"(, "smooth": "yes")") + "]", 0, 1},
        {"[" + mouse('"' + std::string(257, 'n') + '"', "046d") + "]", 0, 1},
        {"[" + many + "]", 64, 1},
        {R"(["steam", "Virt-Manager"])", 2, 0, "rawWheelApplications"},
        {R"("steam")", 0, 1, "rawWheelApplications"},
        {R"([1, "", ["steam"], "steam", )" + longName + "]", 1, 4, "rawWheelApplications"},
    };
    for (const auto& [list, kept, lines, key] : cases) {
        SCOPED_TRACE(list.substr(0, 80));
        const std::string listKey = key ? key : "mice";
        const std::string text = R"({"isEnabled": false, ")" + listKey + R"(": )" + list + "}";
        writeFileAtomically(file, text);
        testing::internal::CaptureStderr();
        auto defaults = open();
        // Each row reads one list: a key not in the file reads as empty, silently.
        const std::vector<KnownWheelMouse> mice = defaults->wheelMiceForKey(key ? "" : "mice");
        const std::vector<std::string> applications = defaults->namesForKey(key ? key : "");
        const std::string log = testing::internal::GetCapturedStderr();
        EXPECT_EQ(mice.size() + applications.size(), kept);
        EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), lines) << log;
        EXPECT_EQ(stored(), nlohmann::json::parse(text)) << "changed by reading";
        key ? defaults->setNames(key, applications) : defaults->setWheelMice("mice", mice);
        EXPECT_TRUE(lines > 0 || stored() == nlohmann::json::parse(text)) << "not written as read";
    }
}

TEST_F(JsonUserDefaultsTest, WhatCannotBeWrittenStaysInMemoryAndNothingIsDestroyed) {
    writeFileAtomically(dir / "blocker", "a file where the settings directory should be");
    JsonUserDefaults unwritable(dir / "blocker" / "defaults.json");
    testing::internal::CaptureStderr();
    unwritable.setDouble("scrollSpeed", 3.0);
    unwritable.setBool("isEnabled", false);
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(unwritable.doubleForKey("scrollSpeed") == 3.0 &&
                !unwritable.boolForKey("isEnabled"));
    EXPECT_THAT(log, HasSubstr("Not a directory"));
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1) << "reported more than once: " << log;

    auto defaults = open();
    defaults->setDouble("scrollSpeed", 2.0);
    defaults->setDouble("scrollSpeed", NAN);  // JSON has no NaN: kept for this run only
    defaults->setBool("reverseScroll", true);
    EXPECT_TRUE(std::isnan(defaults->doubleForKey("scrollSpeed")) &&
                stored().at("scrollSpeed") == 2.0);

    fs::remove(file);
    // A file that cannot be read is never overwritten.
    writeFileAtomically(file / "inside", "keep");
    open()->setBool("isEnabled", false);
    EXPECT_EQ(readText(file / "inside"), "keep");
}

TEST_F(JsonUserDefaultsTest, ReplacingKeepsALinkedFileALinkWithItsPermissionsAndNoTemporaries) {
    writeFileAtomically(dir / "dotfiles.json", R"({"isEnabled": true})");
    fs::permissions(dir / "dotfiles.json", fs::perms(0640));
    fs::create_directories(file.parent_path());
    fs::create_symlink(dir / "dotfiles.json", file);
    auto defaults = open();
    for (int i = 0; i < 3; ++i) defaults->setDouble("scrollSpeed", i);
    EXPECT_TRUE(fs::is_symlink(file) &&
                nlohmann::json::parse(readText(dir / "dotfiles.json")).at("scrollSpeed") == 2.0);
    EXPECT_EQ(fs::status(dir / "dotfiles.json").permissions(), fs::perms(0640));
    EXPECT_TRUE(others().empty() && std::distance(fs::directory_iterator(dir), {}) == 2)
        << "a temporary was left behind";
}

using XdgAutostartTest = FilesTest;

TEST_F(XdgAutostartTest, RegistersOurQuotedEntryOnlyAndReportsFailuresWithTheSystemsDescription) {
    const fs::path entry = dir / "autostart" / "glidewheel.desktop";
    XdgAutostartLoginItems items(entry, "/opt/My Tools/glidewheel");
    EXPECT_EQ(items.status(), LoginItemStatus::notRegistered);
    EXPECT_EQ(items.unregisterMainApp(), std::nullopt);  // absent: nothing to undo
    EXPECT_TRUE(!items.registerMainApp() && items.status() == LoginItemStatus::enabled);
    EXPECT_THAT(readText(entry),
                testing::AllOf(HasSubstr("\nType=Application\n"), HasSubstr("\nName=Glidewheel\n"),
                               HasSubstr("\nExec=\"/opt/My Tools/glidewheel\" --background\n")));
    for (const std::string off : {"Hidden=true\n", "X-GNOME-Autostart-enabled=false\n"}) {
        writeFileAtomically(entry, "[Desktop Entry]\nX-Glidewheel-Autostart = true\n" + off);
        EXPECT_EQ(items.status(), LoginItemStatus::notRegistered) << off;
        EXPECT_TRUE(!items.registerMainApp() && items.status() == LoginItemStatus::enabled) << off;
    }
    EXPECT_TRUE(!items.unregisterMainApp() && !fs::exists(entry));

    const std::string foreign =
        "[Desktop Entry]\nName=Other\nExec=/usr/bin/other\n"
        "[Desktop Action x]\nX-Glidewheel-Autostart=true\n";
    writeFileAtomically(entry, foreign);
    EXPECT_EQ(items.status(), LoginItemStatus::notRegistered);
    EXPECT_THAT(items.registerMainApp().value_or(""), HasSubstr("another program"));
    EXPECT_EQ(items.unregisterMainApp(), std::nullopt);
    EXPECT_EQ(readText(entry), foreign);

    // Failures carry the system's description. Root ignores permission bits: the failures come
    // from the file system's shape.
    writeFileAtomically(dir / "blocker", "");
    XdgAutostartLoginItems underFile(dir / "blocker" / "autostart" / "gw.desktop", "/usr/bin/gw");
    EXPECT_THAT(underFile.registerMainApp().value_or(""), HasSubstr(std::strerror(ENOTDIR)));
    EXPECT_EQ(underFile.unregisterMainApp(), std::nullopt);

    XdgAutostartLoginItems inDirectory(dir, "/usr/bin/gw");  // a directory in the entry's place
    EXPECT_THAT(inDirectory.registerMainApp().value_or(""), HasSubstr(std::strerror(EISDIR)));
    EXPECT_THAT(inDirectory.unregisterMainApp().value_or(""), HasSubstr(std::strerror(EISDIR)));

    // Reserved characters in the program's path are quoted and escaped for the Exec line.
    const std::pair<std::string, std::string> cases[] = {{"/opt/100%/gw", "/opt/100%%/gw"},
                                                         {"/opt/a$b/gw", R"("/opt/a\\$b/gw")"},
                                                         {R"(/opt/"hi"\/gw)",
                                                          R"("/opt/\\"hi\\"\\\\/gw")"}};
    for (const auto& [path, exec] : cases) EXPECT_EQ(desktopEntryExecValue(path), exec) << path;
}

}  // namespace
}  // namespace glidewheel::platform::linuxdesktop
