#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <map>
#include <string>
#include <thread>

#include <QDir>

#include "app/popup_placement.h"
#include "app/session.h"
#include "app/single_instance.h"
#include "app/tray_watch.h"
#include "tests/app/test_support.h"

namespace glidewheel::testing {
namespace {

using namespace std::chrono_literals;

// --- popup placement ---

struct PlacementCase {
    const char* name;
    QRect icon;
    QRect area;
    QPoint cursor;
    QPoint expected;
};

TEST(PopupPlacement, HangsBelowTheIconOrAboveItAndStaysInsideTheArea) {
    const QSize size(300, 340);
    const QRect topPanelScreen(0, 24, 1920, 1056);    // panel along the top, 24 px
    const QRect bottomPanelScreen(0, 0, 1920, 1048);  // panel along the bottom, 32 px
    const PlacementCase cases[] = {
        {"top, middle", {900, 0, 24, 24}, topPanelScreen, {}, {762, 24}},
        {"top, right corner", {1880, 0, 24, 24}, topPanelScreen, {}, {1620, 24}},
        {"top, left corner", {0, 0, 24, 24}, topPanelScreen, {}, {0, 24}},
        {"bottom panel: above", {1800, 1052, 24, 24}, bottomPanelScreen, {}, {1620, 708}},
        {"second screen, right corner", {3100, 0, 24, 24}, {1920, 24, 1280, 1000}, {}, {2900, 24}},
        {"second screen, middle", {2500, 0, 24, 24}, {1920, 24, 1280, 1000}, {}, {2362, 24}},
        {"left panel", {0, 500, 24, 24}, {24, 0, 1896, 1080}, {}, {24, 524}},
        {"no geometry: at the cursor", {}, topPanelScreen, {500, 400}, {351, 401}},
        {"no geometry, cursor bottom right", {}, topPanelScreen, {1919, 1079}, {1620, 739}},
        {"area smaller than the popup", {10, 10, 24, 24}, {0, 0, 200, 200}, {}, {0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QPoint at = popupPosition(c.icon, size, c.area, c.cursor);
        EXPECT_EQ(at, c.expected);
        const QRect popup(at, size);
        if (c.area.width() >= size.width() && c.area.height() >= size.height()) {
            EXPECT_TRUE(c.area.contains(popup));
        }
        if (!c.icon.isEmpty() && c.area.contains(popup)) {
            EXPECT_FALSE(popup.intersects(c.icon)) << "covers the icon";
        }
    }
}

// --- session ---

TEST(Session, NeedsADisplayOrAnExplicitQtPlatformAndPrefersX11WhereBothRun) {
    using Environment = std::map<std::string, std::string>;
    struct Case {
        Environment environment;
        bool graphical;
        bool x11;
    };
    const Case cases[] = {
        {{}, false, false},
        {{{"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}}, false, false},
        {{{"HOME", "/home/someone"}}, false, false},
        {{{"DISPLAY", ":0"}}, true, false},
        {{{"WAYLAND_DISPLAY", "wayland-0"}}, true, false},
        {{{"DISPLAY", ":0"}, {"WAYLAND_DISPLAY", "wayland-0"}}, true, true},
        {{{"DISPLAY", ":0"}, {"WAYLAND_DISPLAY", "wayland-0"}, {"QT_QPA_PLATFORM", "wayland"}},
         true, false},
        {{{"QT_QPA_PLATFORM", "offscreen"}}, true, false},
    };
    for (const auto& [environment, graphical, x11] : cases) {
        const auto lookup = [&](const char* name) -> const char* {
            const auto found = environment.find(name);
            return found == environment.end() ? nullptr : found->second.c_str();
        };
        std::string described;
        for (const auto& [name, value] : environment) described += name + "=" + value + " ";
        SCOPED_TRACE(described);
        EXPECT_EQ(hasGraphicalSession(lookup), graphical);
        EXPECT_EQ(prefersX11(lookup), x11);
    }
}

// --- tray watch ---

TEST(TrayWatch, ReportsAMissingTrayOnceThenItsArrival) {
    bool available = false;
    TrayWatch watch([&] { return available; }, 5ms, 40ms);
    int appeared = 0;
    int missing = 0;
    QObject::connect(&watch, &TrayWatch::appeared, [&] { ++appeared; });
    QObject::connect(&watch, &TrayWatch::stillMissing, [&] { ++missing; });
    watch.start();

    ASSERT_TRUE(processEventsUntil([&] { return missing > 0; }));
    processEventsUntil([] { return false; }, 100ms);
    EXPECT_EQ(missing, 1);
    EXPECT_EQ(appeared, 0);

    available = true;
    ASSERT_TRUE(processEventsUntil([&] { return appeared > 0; }));
    processEventsUntil([] { return false; }, 100ms);
    EXPECT_EQ(appeared, 1);
    EXPECT_EQ(missing, 1);
}

// --- single instance ---

class SingleInstanceTest : public ::testing::Test {
protected:
    void SetUp() override {
        name_ = QDir::temp().filePath(
            QStringLiteral("glidewheel-test-%1-%2")
                .arg(::getpid())
                .arg(::testing::UnitTest::GetInstance()->random_seed()) +
            QString::fromUtf8(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    }
    void TearDown() override { ::unlink(name_.toLocal8Bit().constData()); }

    // Asks from another thread, as another process would, while this one runs its event loop.
    bool askFromElsewhere() {
        std::atomic<bool> done = false;
        bool answered = false;
        std::thread other([&] {
            SingleInstance second(name_);
            answered = second.askRunningInstance();
            done = true;
        });
        processEventsUntil([&] { return done.load(); });
        other.join();
        return answered;
    }

    QString name_;
};

TEST_F(SingleInstanceTest, ALaterLaunchReachesTheRunningInstance) {
    SingleInstance running(name_);
    ASSERT_TRUE(running.listen());
    int requests = 0;
    QObject::connect(&running, &SingleInstance::activationRequested, [&] { ++requests; });

    EXPECT_TRUE(askFromElsewhere());
    ASSERT_TRUE(processEventsUntil([&] { return requests > 0; }));
    EXPECT_TRUE(askFromElsewhere());
    ASSERT_TRUE(processEventsUntil([&] { return requests > 1; }));
    EXPECT_EQ(requests, 2);
}

TEST_F(SingleInstanceTest, ASocketLeftByADeadInstanceIsReplaced) {
    EXPECT_FALSE(SingleInstance(name_).askRunningInstance()) << "answered with nobody running";
    // A bound socket nobody listens on: what a killed instance leaves behind.
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray path = name_.toLocal8Bit();
    ASSERT_LT(static_cast<std::size_t>(path.size()), sizeof(address.sun_path));
    std::memcpy(address.sun_path, path.constData(), static_cast<std::size_t>(path.size()));
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    ::close(fd);

    SingleInstance restarted(name_);
    EXPECT_FALSE(restarted.askRunningInstance());
    ASSERT_TRUE(restarted.listen());
    int requests = 0;
    QObject::connect(&restarted, &SingleInstance::activationRequested, [&] { ++requests; });
    EXPECT_TRUE(askFromElsewhere());
    EXPECT_TRUE(processEventsUntil([&] { return requests == 1; }));
}

}  // namespace
}  // namespace glidewheel::testing
