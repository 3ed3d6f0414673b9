#include <gtest/gtest.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>

#include "platform/qt/qt_main_loop.h"

namespace glidewheel::platform::qt {
namespace {

void processEventsFor(int ms) {
    QElapsedTimer timer;
    for (timer.start(); timer.elapsed() <= ms;) QCoreApplication::processEvents();
}

TEST(QtMainLoop, CallsTheHandlerWhileTheWatchIsEnabledAndLetsItDestroyTheWatch) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    ASSERT_EQ(::write(fds[1], "x", 1), 1);  // never read: the watch fires while live
    QtMainLoop loop;
    int calls = 0;
    auto watch = loop.watchReadable(fds[0], [&] { ++calls; });
    watch->setEnabled(false);
    processEventsFor(100);
    watch = loop.watchReadable(fds[0], [&] { ++calls, watch.reset(); });
    processEventsFor(100);
    EXPECT_EQ(calls, 1) << "called while disabled, or again after destroying its watch";
    ::close(fds[0]), ::close(fds[1]);
}

}  // namespace
}  // namespace glidewheel::platform::qt

// The Qt tests need an application object for the whole run; the others ignore it.
int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
