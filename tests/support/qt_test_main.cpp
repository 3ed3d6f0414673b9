// SPDX-License-Identifier: MIT

#include "tests/support/qt_test_main.h"

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    // Headless also when run by hand or for test discovery.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    const auto application = glidewheel::testing::makeTestApplication(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
