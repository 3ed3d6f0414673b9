// SPDX-License-Identifier: MIT

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <map>

#include <QAbstractButton>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTemporaryDir>

#include "app/accessibility_help.h"
#include "app/session.h"
#include "tests/app/test_support.h"

namespace glidewheel::testing {
namespace {

// --- choosing the display ---

TEST(Session, PicksAPlatformWhoseDisplayOpensElseNone) {
    const struct {
        std::map<std::string, std::string> environment;
        bool x11Opens, waylandOpens;
        std::optional<std::string> expected;
    } cases[] = {
        {{}, true, true, std::nullopt},
        {{{"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}}, true, true, std::nullopt},  // empty: unset
        {{{"DISPLAY", ":0"}}, true, false, "xcb"},
        {{{"DISPLAY", ":99"}}, false, false, std::nullopt},  // stale
        {{{"WAYLAND_DISPLAY", "wayland-0"}}, false, true, "wayland"},
        {{{"DISPLAY", ":0"}, {"WAYLAND_DISPLAY", "wayland-0"}}, true, true, "xcb"},  // X11 places
        {{{"DISPLAY", ":99"}, {"WAYLAND_DISPLAY", "wayland-0"}}, false, true, "wayland"},
        {{{"QT_QPA_PLATFORM", "offscreen"}}, false, false, ""},  // an explicit platform stands
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        std::vector<std::string> probed;
        const auto lookup = [&](const char* name) -> const char* {
            const auto found = c.environment.find(name);
            return found == c.environment.end() ? nullptr : found->second.c_str();
        };
        const auto probe = [&](DisplayKind kind, const std::string& name) {
            probed.push_back(name);
            return kind == DisplayKind::x11 ? c.x11Opens : c.waylandOpens;
        };
        EXPECT_EQ(choosePlatform(lookup, probe), c.expected);
        for (const std::string& name : probed) EXPECT_FALSE(name.empty()) << "probed an unset name";
    }
}

TEST(Session, ADisplayOpensOnlyWhileSomethingListens) {
    QTemporaryDir dir;
    const std::string path = QDir(dir.path()).filePath("wayland-test").toStdString();
    EXPECT_FALSE(canOpenDisplay(DisplayKind::wayland, path));
    const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    ASSERT_EQ(::listen(listener, 1), 0);
    EXPECT_TRUE(canOpenDisplay(DisplayKind::wayland, path));
    ::close(listener);
    EXPECT_FALSE(canOpenDisplay(DisplayKind::wayland, path)) << "a socket nobody listens on";
    EXPECT_FALSE(canOpenDisplay(DisplayKind::x11, ":97")) << "a display no server runs";
}

// --- the access help ---

// A stand-in pkexec that logs its arguments and exits with `status`, and an executable helper.
class AccessHelpTest : public ::testing::Test {
protected:
    void SetUp() override {
        writeScript(pkexec(), "#!/bin/sh\necho \"$@\" >>'" + log() + "'\nexit " +
                                  std::to_string(status) + "\n");
        writeScript(helper(), "#!/bin/sh\nexit 0\n");
    }
    void TearDown() override {
        // A help window must go before the application's GUI does, as the program's
        // end-of-loop hook sees to; these tests run no loop to its end.
        for (QWidget* window : QApplication::topLevelWidgets())
            if (window->objectName() == "glidewheelInputAccessHelp") delete window;
    }

    static void writeScript(const QString& path, const std::string& text) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text.c_str());
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    QString pkexec() const { return dir.filePath("pkexec"); }
    QString helper() const { return dir.filePath("glidewheel-grant-access"); }
    std::string log() const { return dir.filePath("pkexec.log").toStdString(); }
    QString logged() const {
        QFile file(QString::fromStdString(log()));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    QTemporaryDir dir;
    int status = 0;
};

TEST_F(AccessHelpTest, FindsTheHelperBesideTheProgramOrInLibexec) {
    QTemporaryDir tree;
    const QDir root(tree.path());
    root.mkpath("build/app");
    root.mkpath("usr/bin");
    root.mkpath("usr/libexec/glidewheel");
    EXPECT_EQ(findGrantAccessHelper(root.filePath("build/app")), "");
    writeScript(root.filePath("build/app/glidewheel-grant-access"), "#!/bin/sh\n");
    writeScript(root.filePath("usr/libexec/glidewheel/glidewheel-grant-access"), "#!/bin/sh\n");
    EXPECT_EQ(findGrantAccessHelper(root.filePath("build/app")),
              QFileInfo(root.filePath("build/app/glidewheel-grant-access")).canonicalFilePath());
    EXPECT_EQ(findGrantAccessHelper(root.filePath("usr/bin")),
              QFileInfo(root.filePath("usr/libexec/glidewheel/glidewheel-grant-access"))
                  .canonicalFilePath());
    EXPECT_FALSE((AccessGrant{"/nonexistent/pkexec", helper()}.isAvailable()));
    EXPECT_TRUE((AccessGrant{pkexec(), helper()}.isAvailable()));
}

// Granted, cancelled or failed, the grant says so and asks for a check, as closing the help does.
TEST_F(AccessHelpTest, GrantRunsTheHelperThroughPkexecSaysHowItWentAndAsksForACheck) {
    for (const auto& [exitStatus, said] :
         {std::pair{0, "Access granted."}, std::pair{126, "Cancelled"},
          std::pair{127, "could not"}}) {
        SCOPED_TRACE(exitStatus);
        status = exitStatus;
        SetUp();
        int checks = 0;
        QWidget* help = createInputAccessHelp({pkexec(), helper()}, [&checks] { ++checks; });
        ASSERT_NE(help, nullptr);
        help->show();
        help->findChild<QAbstractButton*>("grantAccess")->click();
        ASSERT_TRUE(waitUntil([&] { return checks > 0; }, processEvents));
        EXPECT_TRUE(help->findChild<QLabel*>("grantStatus")->text().contains(said));
        help->close();
        settle();
        EXPECT_EQ(checks, 2) << "closing the help did not ask for a check";
    }
    EXPECT_EQ(logged(), (helper() + "\n").repeated(3)) << "pkexec ran with other arguments";
}

// Where polkit is missing the help offers only the commands; with it, both. Either way the
// commands fit the window's width and copy as shown.
TEST_F(AccessHelpTest, ManualStepsWrapCopyAndInstallTheRuleTheHelperDoes) {
    for (const bool withPolkit : {false, true}) {
        SCOPED_TRACE(withPolkit ? "with polkit" : "without polkit");
        QWidget* help =
            createInputAccessHelp({withPolkit ? pkexec() : dir.filePath("no-pkexec"), helper()},
                                  {});
        ASSERT_NE(help, nullptr);
        help->show();
        EXPECT_EQ(help->findChild<QAbstractButton*>("grantAccess") != nullptr, withPolkit);
        auto* steps = help->findChild<QPlainTextEdit*>("manualSteps");
        ASSERT_NE(steps, nullptr);
        help->resize(420, 520);
        QCoreApplication::processEvents();
        EXPECT_EQ(steps->horizontalScrollBar()->maximum(), 0) << "the commands scroll sideways";
        const QString commands = steps->toPlainText();
        EXPECT_TRUE(commands.contains("ENV{ID_INPUT_MOUSE}==\"1\", TAG+=\"uaccess\""));
        EXPECT_TRUE(commands.contains("static_node=uinput"));
        EXPECT_FALSE(commands.contains('#')) << "the rule's comments were copied";
        for (const char* step :
             {"sudo modprobe uinput", "sudo udevadm control --reload-rules",
              "sudo udevadm trigger --subsystem-match=input --subsystem-match=misc"})
            EXPECT_TRUE(commands.contains(step)) << step;
        help->findChild<QAbstractButton*>("copyCommands")->click();
        EXPECT_EQ(QGuiApplication::clipboard()->text(), commands);
    }
}

}  // namespace
}  // namespace glidewheel::testing
