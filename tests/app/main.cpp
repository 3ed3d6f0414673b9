// SPDX-License-Identifier: MIT

#include <gtest/gtest.h>

#include "app/glidewheel_app.h"
#include "tests/app/test_support.h"

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // The program's own application object, so that its settings (staying alive when the last
    // window closes) are the ones under test.
    glidewheel::GlidewheelApp application(argc, argv);
    glidewheel::testing::backend().install();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
