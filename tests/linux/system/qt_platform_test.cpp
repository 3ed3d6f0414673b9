#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QTextBrowser>
#include <QUrl>

#include "platform/qt/accessibility_help.h"
#include "platform/qt/qt_main_loop.h"

namespace glidewheel::platform::qt {
namespace {

// Runs the event loop until `condition` holds, for at most `ms` milliseconds; returns condition().
template <typename Condition>
bool processEventsUntil(Condition condition, int ms = 10'000) {
    QElapsedTimer timer;
    for (timer.start(); !condition() && timer.elapsed() <= ms;) QCoreApplication::processEvents();
    return condition();
}

TEST(QtMainLoop, CallsTheHandlerWhileTheWatchIsEnabledAndLetsItDestroyTheWatch) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    ASSERT_EQ(::write(fds[1], "x", 1), 1);  // never read: the watch fires while live
    QtMainLoop loop;
    int calls = 0;
    auto watch = loop.watchReadable(fds[0], [&] { ++calls; });
    watch->setEnabled(false);
    processEventsUntil([] { return false; }, 100);
    EXPECT_EQ(calls, 0);
    watch = loop.watchReadable(fds[0], [&] { ++calls, watch.reset(); });
    processEventsUntil([] { return false; }, 100);
    EXPECT_EQ(calls, 1);
    ::close(fds[0]);
    ::close(fds[1]);
}

TEST(AccessibilityHelp, TheSettingsAddressOpensOneHelpWindowOnInputAccess) {
    const auto windows = [] {
        std::vector<QTextBrowser*> found;
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (widget->objectName() == "glidewheelInputAccessHelp" && widget->isVisible())
                found.push_back(qobject_cast<QTextBrowser*>(widget));
        return found;
    };
    installAccessibilitySettingsHandler();
    const QUrl settings(
        "x-apple.systempreferences:com.apple.preference.security?Privacy_Accessibility");
    ASSERT_TRUE(QDesktopServices::openUrl(settings));
    ASSERT_TRUE(processEventsUntil([&] { return windows().size() == 1; }));
    for (const char* needed : {"/dev/uinput", "70-glidewheel.rules", "usermod -aG input $USER"})
        EXPECT_TRUE(windows()[0]->toPlainText().contains(QLatin1String(needed))) << needed;
    const auto first = windows();
    ASSERT_TRUE(QDesktopServices::openUrl(settings));  // while showing: the same window
    processEventsUntil([] { return false; }, 50);
    EXPECT_EQ(windows(), first);
    first[0]->close();
}

}  // namespace
}  // namespace glidewheel::platform::qt

// The Qt tests need an application object for the whole run; the others ignore it.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
