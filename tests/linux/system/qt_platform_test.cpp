#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QTextBrowser>
#include <QUrl>
#include <functional>

#include "platform/qt/accessibility_help.h"
#include "platform/qt/qt_main_loop.h"

namespace glidewheel::platform::qt {
namespace {

// Runs the event loop until `condition` holds, for at most `ms` milliseconds.
bool processEventsUntil(const std::function<bool()>& condition, int ms = 10'000) {
    QElapsedTimer timer;
    timer.start();
    while (!condition() && timer.elapsed() <= ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return condition();
}

TEST(QtMainLoop, CallsTheHandlerWhileTheWatchIsEnabledAndAlive) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    QtMainLoop loop;
    int calls = 0;
    std::unique_ptr<linuxdesktop::MainLoop::Watch> watch;
    watch = loop.watchReadable(fds[0], [&] { ++calls; });  // never drained: fires while live
    ASSERT_EQ(::write(fds[1], "x", 1), 1);
    ASSERT_TRUE(processEventsUntil([&] { return calls > 0; }));
    watch->setEnabled(false);
    const int whileEnabled = calls;
    processEventsUntil([] { return false; }, 100);
    EXPECT_EQ(calls, whileEnabled);

    // A handler may destroy its own watch.
    watch = loop.watchReadable(fds[0], [&] { ++calls; watch.reset(); });
    processEventsUntil([] { return false; }, 100);
    EXPECT_EQ(calls, whileEnabled + 1);
    EXPECT_EQ(watch, nullptr);
    ::close(fds[0]);
    ::close(fds[1]);
}

std::vector<QTextBrowser*> helpWindows() {
    std::vector<QTextBrowser*> found;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->objectName() == "glidewheelInputAccessHelp" && widget->isVisible())
            found.push_back(qobject_cast<QTextBrowser*>(widget));
    return found;
}

TEST(AccessibilityHelp, TheSettingsAddressOpensOneHelpWindowOnInputAccess) {
    installAccessibilitySettingsHandler();
    const QUrl settings("x-apple.systempreferences:com.apple.preference.security?Privacy_Accessibility");
    ASSERT_TRUE(QDesktopServices::openUrl(settings));
    ASSERT_TRUE(processEventsUntil([] { return helpWindows().size() == 1; }));
    QTextBrowser* window = helpWindows().front();
    ASSERT_NE(window, nullptr);
    for (const char* needed : {"/dev/uinput", "70-glidewheel.rules", "sudo usermod -aG input $USER"})
        EXPECT_TRUE(window->toPlainText().contains(QLatin1String(needed))) << needed;

    ASSERT_TRUE(QDesktopServices::openUrl(settings));  // while showing: the same window
    processEventsUntil([] { return false; }, 50);
    EXPECT_EQ(helpWindows(), std::vector<QTextBrowser*>{window});
    window->close();
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
