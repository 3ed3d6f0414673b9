#include "platform/linux/xdg_autostart.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "tests/linux/system/test_support.h"

namespace glidewheel::platform::linuxdesktop {
namespace {

using test::readText;
using test::writeText;
using testing::HasSubstr;

class XdgAutostartTest : public testing::Test {
protected:
    test::TempDir dir;
    std::filesystem::path entry = dir / "autostart" / "glidewheel.desktop";
    XdgAutostartLoginItems items{entry, "/usr/bin/glidewheel"};

    void writeEntry(const std::string& text) {
        std::filesystem::create_directories(entry.parent_path());
        writeText(entry, text);
    }
};

constexpr auto kOurs =
    "[Desktop Entry]\nType=Application\nName=Glidewheel\nExec=/usr/bin/glidewheel\n"
    "X-Glidewheel-Autostart=true\n";
constexpr auto kForeign =
    "[Desktop Entry]\nType=Application\nName=Someone Else\nExec=/usr/bin/other\n";

TEST_F(XdgAutostartTest, RegisterAndUnregisterRoundTrip) {
    EXPECT_EQ(items.status(), LoginItemStatus::notRegistered);

    EXPECT_EQ(items.registerMainApp(), std::nullopt);  // creates the autostart directory too
    EXPECT_EQ(items.status(), LoginItemStatus::enabled);
    const std::string text = readText(entry);
    EXPECT_TRUE(text.starts_with("[Desktop Entry]\n"));
    for (const char* line : {"\nType=Application\n", "\nName=Glidewheel\n",
                             "\nExec=/usr/bin/glidewheel\n", "\nIcon=glidewheel\n",
                             "\nX-GNOME-Autostart-enabled=true\n"}) {
        EXPECT_THAT(text, HasSubstr(line));
    }

    EXPECT_EQ(items.registerMainApp(), std::nullopt);  // again: rewritten, still enabled
    EXPECT_EQ(items.status(), LoginItemStatus::enabled);

    EXPECT_EQ(items.unregisterMainApp(), std::nullopt);
    EXPECT_FALSE(std::filesystem::exists(entry));
    EXPECT_EQ(items.status(), LoginItemStatus::notRegistered);
    EXPECT_EQ(items.unregisterMainApp(), std::nullopt);  // already absent: nothing to undo
}

TEST_F(XdgAutostartTest, OurEntrySwitchedOffByTheDesktopIsNotEnabledUntilRegisteredAgain) {
    for (const std::string off : {"Hidden=true\n", "X-GNOME-Autostart-enabled=false\n"}) {
        SCOPED_TRACE(off);
        writeEntry(kOurs + off);
        EXPECT_EQ(items.status(), LoginItemStatus::notRegistered);
        EXPECT_EQ(items.registerMainApp(), std::nullopt);
        EXPECT_EQ(items.status(), LoginItemStatus::enabled);
    }
}

TEST_F(XdgAutostartTest, OurMarkerCountsOnlyInTheDesktopEntryGroup) {
    writeEntry(std::string(kForeign) + "\n[Desktop Action extra]\nX-Glidewheel-Autostart=true\n");
    EXPECT_EQ(items.status(), LoginItemStatus::notRegistered);
    writeEntry("# written by hand\n[Desktop Entry]\nExec = /usr/bin/glidewheel\n"
               "X-Glidewheel-Autostart = true\n");
    EXPECT_EQ(items.status(), LoginItemStatus::enabled);
}

TEST_F(XdgAutostartTest, AnotherProgramsEntryIsNeverReplacedOrRemoved) {
    writeEntry(kForeign);
    EXPECT_EQ(items.status(), LoginItemStatus::notRegistered);

    const auto failure = items.registerMainApp();
    ASSERT_TRUE(failure.has_value());
    EXPECT_THAT(*failure, HasSubstr(entry.string()));
    EXPECT_THAT(*failure, HasSubstr("another program"));

    EXPECT_EQ(items.unregisterMainApp(), std::nullopt);
    EXPECT_EQ(readText(entry), kForeign);
}

TEST_F(XdgAutostartTest, FailuresCarryTheSystemsDescription) {
    // Running as root ignores permission bits, so the failures come from the file system's shape.
    writeText(dir / "blocker", "");
    XdgAutostartLoginItems underFile(dir / "blocker" / "autostart" / "glidewheel.desktop",
                                     "/usr/bin/glidewheel");
    EXPECT_EQ(underFile.status(), LoginItemStatus::notRegistered);
    const auto cannotCreate = underFile.registerMainApp();
    ASSERT_TRUE(cannotCreate.has_value());
    EXPECT_THAT(*cannotCreate, HasSubstr(std::strerror(ENOTDIR)));
    EXPECT_EQ(underFile.unregisterMainApp(), std::nullopt);  // cannot exist, so not registered

    std::filesystem::create_directories(entry);  // a directory in the entry's place
    EXPECT_EQ(items.status(), LoginItemStatus::notRegistered);
    for (const auto& failure : {items.registerMainApp(), items.unregisterMainApp()}) {
        ASSERT_TRUE(failure.has_value());
        EXPECT_THAT(*failure, HasSubstr(std::strerror(EISDIR)));
    }
    EXPECT_TRUE(std::filesystem::is_directory(entry));

    // Without the program's own location there is nothing sensible to start.
    XdgAutostartLoginItems unknown(dir / "other.desktop", "");
    EXPECT_TRUE(unknown.registerMainApp().has_value());
    EXPECT_FALSE(std::filesystem::exists(dir / "other.desktop"));
}

TEST_F(XdgAutostartTest, TheEntryRunsAPathWithSpacesQuoted) {
    XdgAutostartLoginItems spaced(entry, "/opt/My Tools/glidewheel");
    ASSERT_EQ(spaced.registerMainApp(), std::nullopt);
    EXPECT_THAT(readText(entry), HasSubstr("\nExec=\"/opt/My Tools/glidewheel\"\n"));
}

TEST(DesktopEntryExec, QuotesAndEscapesReservedCharacters) {
    const std::pair<std::string, std::string> cases[] = {
        {"/usr/bin/glidewheel", "/usr/bin/glidewheel"},
        {"/opt/My Tools/glidewheel", R"("/opt/My Tools/glidewheel")"},
        {"/opt/100%/glidewheel", "/opt/100%%/glidewheel"},
        {"/opt/a$b/glidewheel", R"("/opt/a\\$b/glidewheel")"},
        {"/opt/say \"hi\"/gw", R"("/opt/say \\"hi\\"/gw")"},
        {R"(/opt/back\slash/gw)", R"("/opt/back\\\\slash/gw")"},
        {"/opt/it's/gw", R"("/opt/it's/gw")"},
    };
    for (const auto& [path, exec] : cases) {
        EXPECT_EQ(desktopEntryExecValue(path), exec) << path;
    }
}

TEST(DesktopEntryExec, TheRunningProgramHasAnAbsolutePath) {
    const std::filesystem::path self = currentExecutablePath();
    EXPECT_TRUE(self.is_absolute());
    EXPECT_EQ(self.filename(), "linux_system_tests");
}

}  // namespace
}  // namespace glidewheel::platform::linuxdesktop
