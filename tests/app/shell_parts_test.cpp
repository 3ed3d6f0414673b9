// SPDX-License-Identifier: MIT

// The shell's parts: the tray icon, the popup panel and where it opens, the tray watch, the
// display the program chooses, and the access help.

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <map>

#include <QAbstractButton>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

#include "app/accessibility_help.h"
#include "app/popup_panel.h"
#include "app/popup_placement.h"
#include "app/session.h"
#include "app/status_item.h"
#include "app/tray_watch.h"
#include "tests/app/test_support.h"
#include "views/symbol_icon.h"

namespace glidewheel::testing {
namespace {

using namespace std::chrono_literals;

// --- the tray icon ---

double luminance(const QColor& c) {
    const auto linear = [](double channel) {
        return channel <= 0.03928 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(c.redF()) + 0.7152 * linear(c.greenF()) + 0.0722 * linear(c.blueF());
}

// The contrast ratio of two colours, 1 (none) to 21 (black on white).
double contrast(const QColor& a, const QColor& b) {
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// How many pixels of `image` are `counted`.
int countPixels(const QImage& image, const std::function<bool(const QColor&)>& counted) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) count += counted(image.pixelColor(x, y));
    return count;
}

// How many pixels of `icon`, laid over `background`, stand out from it at 3:1 or more (the
// least contrast asked of graphics that must be recognised).
int distinctPixels(const QPixmap& icon, const QColor& background) {
    QImage canvas(icon.size(), QImage::Format_RGB32);
    canvas.fill(background);
    QPainter(&canvas).drawPixmap(0, 0, icon);
    return countPixels(canvas, [&](const QColor& c) { return contrast(c, background) >= 3.0; });
}

// Pixels the plain symbol covers at least half at `size`, whatever its colour: the ink a reader
// must see.
int inkPixels(int size) {
    return countPixels(symbolPixmap("computermouse", size, Qt::black).toImage(),
                       [](const QColor& c) { return c.alphaF() >= 0.5f; });
}

// Whatever the panel's colour, at least three quarters as many pixels stand out from it as the
// symbol has ink (drawn inside its outline, a sixteenth of the size smaller on each side).
TEST(StatusItemImage, StandsOutOnLightAndDarkPanels) {
    const QIcon icon = statusItemImage();
    const std::pair<const char*, QColor> panels[] = {
        {"light", QColor(0xF6, 0xF5, 0xF4)},    {"white", Qt::white},
        {"dark", QColor(0x24, 0x24, 0x24)},     {"black", Qt::black},
        {"mid grey", QColor(0x80, 0x80, 0x80)},
    };
    for (const int size : {16, 22, 24, 32}) {
        const QPixmap pixmap = icon.pixmap(size, size);
        ASSERT_EQ(pixmap.width(), size);
        const int ink = inkPixels(size - 2 * std::max(1, size / 16));
        for (const auto& [name, panel] : panels) {
            EXPECT_GE(4 * distinctPixels(pixmap, panel), 3 * ink)
                << "at " << size << " px on a " << name << " panel";
        }
    }
    // The measure tells a one-colour icon apart: black all but vanishes on a dark panel.
    const QPixmap black = symbolPixmap("computermouse", 22, Qt::black);
    EXPECT_LT(distinctPixels(black, QColor(0x24, 0x24, 0x24)), inkPixels(22) / 10);
}

// --- the popup's border ---

TEST(PopupPanel, HasAOnePixelBorderInTheMidColourAroundItsContent) {
    auto* content = new QWidget;
    content->setAutoFillBackground(true);
    PopupPanel panel(content);
    panel.show();
    const QImage image = panel.grab().toImage();
    const QColor mid = panel.palette().color(QPalette::Mid);
    const int w = PopupPanel::kSize.width(), h = PopupPanel::kSize.height();
    ASSERT_EQ(image.size(), PopupPanel::kSize);
    for (const QPoint edge : {QPoint(0, 0), QPoint(w / 2, 0), QPoint(w - 1, h / 2),
                              QPoint(w / 2, h - 1), QPoint(0, h - 1), QPoint(w - 1, h - 1)}) {
        EXPECT_EQ(image.pixelColor(edge).rgb(), mid.rgb()) << edge.x() << "," << edge.y();
    }
    EXPECT_EQ(content->geometry(), QRect(1, 1, w - 2, h - 2));
}

// --- where the popup opens, and the tray watch ---

TEST(PopupPlacement, HangsBelowTheIconOrAboveItAndStaysInsideTheArea) {
    const QRect topPanel(0, 24, 1920, 1056);  // a 24 px panel along the top
    const struct {
        const char* name;
        QRect icon, area;
        QPoint cursor, expected;
    } cases[] = {
        {"top, middle: centred below", {900, 0, 24, 24}, topPanel, {}, {762, 24}},
        {"bottom panel: above", {1800, 1052, 24, 24}, {0, 0, 1920, 1048}, {}, {1620, 708}},
        {"second screen, left panel", {1920, 500, 24, 24}, {1944, 0, 1280, 1024}, {}, {1944, 524}},
        {"no geometry: at the cursor", {}, topPanel, {500, 400}, {351, 401}},
        {"no geometry, cursor bottom right", {}, topPanel, {1919, 1079}, {1620, 739}},
        {"area smaller than the popup", {10, 10, 24, 24}, {0, 0, 200, 200}, {}, {0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(popupPosition(c.icon, QSize(300, 340), c.area, c.cursor), c.expected);
    }
}

TEST(TrayWatch, ReportsAMissingTrayOnceThenItsArrival) {
    bool available = false;
    TrayWatch watch([&] { return available; }, 5ms, 40ms);
    int appeared = 0, missing = 0;
    QObject::connect(&watch, &TrayWatch::appeared, [&] { ++appeared; });
    QObject::connect(&watch, &TrayWatch::stillMissing, [&] { ++missing; });
    watch.start();
    ASSERT_TRUE(waitUntil([&] { return missing > 0; }, processEvents));
    QTest::qWait(100);  // polls on: the tray is still missing
    available = true;
    ASSERT_TRUE(waitUntil([&] { return appeared > 0; }, processEvents));
    QTest::qWait(100);
    EXPECT_EQ(missing, 1);
    EXPECT_EQ(appeared, 1);
}

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
    for (const char* folder : {"build/app", "usr/bin", "usr/libexec/glidewheel"})
        root.mkpath(folder);
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
        EXPECT_FALSE(commands.contains('#')) << "the rule's comments were copied";
        for (const char* line :
             {"ENV{ID_INPUT_MOUSE}==\"1\", TAG+=\"uaccess\"", "static_node=uinput",
              "sudo modprobe uinput", "sudo udevadm control --reload-rules",
              "sudo udevadm trigger --subsystem-match=input --subsystem-match=misc"})
            EXPECT_TRUE(commands.contains(line)) << line;
        help->findChild<QAbstractButton*>("copyCommands")->click();
        EXPECT_EQ(QGuiApplication::clipboard()->text(), commands);
    }
}

}  // namespace
}  // namespace glidewheel::testing
