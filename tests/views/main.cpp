// SPDX-License-Identifier: MIT

#include <gtest/gtest.h>

#include <QApplication>

#include "platform/sim/sim_platform.h"

namespace glidewheel::test {
platform::sim::SimPlatform& sim();
}

int main(int argc, char** argv) {
    // Headless also when run by hand or for test discovery.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    glidewheel::test::sim().install();
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
