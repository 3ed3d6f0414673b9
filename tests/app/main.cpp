#include <gtest/gtest.h>

#include <QApplication>

#include "tests/app/recording_backend.h"

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    // As in the program: the tray program keeps running when its last window closes.
    QApplication::setQuitOnLastWindowClosed(false);
    glidewheel::testing::backend().install();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
