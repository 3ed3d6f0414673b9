#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QTextBrowser>
#include <QUrl>
#include <array>
#include <functional>

#include "platform/qt/accessibility_help.h"
#include "platform/qt/qt_main_loop.h"

namespace glidewheel::platform::qt {
namespace {

// Runs the event loop until `condition` holds, for at most `ms` milliseconds.
bool processEventsUntil(const std::function<bool()>& condition, int ms = 10'000) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

void processEventsFor(int ms) { processEventsUntil([] { return false; }, ms); }

class Pipe {
public:
    Pipe() {
        if (::pipe(fds_.data()) != 0) std::abort();
    }
    ~Pipe() {
        ::close(fds_[0]);
        ::close(fds_[1]);
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;

    int readEnd() const { return fds_[0]; }
    void send() const { ASSERT_EQ(::write(fds_[1], "x", 1), 1); }
    void drain() const {
        char byte;
        ASSERT_EQ(::read(fds_[0], &byte, 1), 1);
    }

private:
    std::array<int, 2> fds_{};
};

TEST(QtMainLoop, CallsTheHandlerWhileTheWatchIsEnabledAndAlive) {
    Pipe pipe;
    QtMainLoop loop;
    int calls = 0;
    auto watch = loop.watchReadable(pipe.readEnd(), [&] {
        ++calls;
        pipe.drain();
    });

    pipe.send();
    ASSERT_TRUE(processEventsUntil([&] { return calls == 1; }));

    watch->setEnabled(false);
    pipe.send();
    processEventsFor(100);
    EXPECT_EQ(calls, 1);
    watch->setEnabled(true);  // the byte still waiting is seen now
    ASSERT_TRUE(processEventsUntil([&] { return calls == 2; }));

    watch.reset();
    pipe.send();
    processEventsFor(100);
    EXPECT_EQ(calls, 2);
    EXPECT_NE(::fcntl(pipe.readEnd(), F_GETFD), -1);  // the descriptor stays open
}

TEST(QtMainLoop, AHandlerMayDestroyItsOwnWatch) {
    Pipe pipe;
    QtMainLoop loop;
    int calls = 0;
    std::unique_ptr<linuxdesktop::MainLoop::Watch> watch;
    watch = loop.watchReadable(pipe.readEnd(), [&] {
        ++calls;
        watch.reset();  // the byte stays unread: a live watch would fire again
    });

    pipe.send();
    ASSERT_TRUE(processEventsUntil([&] { return calls == 1; }));
    processEventsFor(100);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(watch, nullptr);
}

std::vector<QTextBrowser*> helpWindows() {
    std::vector<QTextBrowser*> found;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == "glidewheelInputAccessHelp" && widget->isVisible()) {
            found.push_back(qobject_cast<QTextBrowser*>(widget));
        }
    }
    return found;
}

TEST(AccessibilityHelp, TheSettingsAddressOpensOneHelpWindowOnInputAccess) {
    installAccessibilitySettingsHandler();
    const QUrl settings(
        "x-apple.systempreferences:com.apple.preference.security?Privacy_Accessibility");

    ASSERT_TRUE(QDesktopServices::openUrl(settings));
    ASSERT_TRUE(processEventsUntil([] { return helpWindows().size() == 1; }));
    QTextBrowser* window = helpWindows().front();
    ASSERT_NE(window, nullptr);
    const QString text = window->toPlainText();
    for (const char* needed : {"/dev/input/event", "/dev/uinput", "70-glidewheel.rules",
                               "sudo usermod -aG input $USER", "sudo modprobe uinput"}) {
        EXPECT_TRUE(text.contains(QLatin1String(needed))) << needed;
    }

    // Opened again while showing: the same window, not a second one.
    ASSERT_TRUE(QDesktopServices::openUrl(settings));
    processEventsFor(50);
    ASSERT_EQ(helpWindows().size(), 1u);
    EXPECT_EQ(helpWindows().front(), window);

    // Closed, it goes; the next request makes a new one.
    window->close();
    ASSERT_TRUE(processEventsUntil([] { return helpWindows().empty(); }));
    ASSERT_TRUE(QDesktopServices::openUrl(settings));
    EXPECT_TRUE(processEventsUntil([] { return helpWindows().size() == 1; }));
    helpWindows().front()->close();
}

}  // namespace
}  // namespace glidewheel::platform::qt
