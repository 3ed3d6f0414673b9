// SPDX-License-Identifier: MIT

#pragma once

// The one main() of the Qt test binaries (qt_test_main.cpp) runs their tests on Qt's offscreen
// platform, in the application object each binary makes here with its backend installed.

#include <QApplication>
#include <memory>

namespace glidewheel::testing {

std::unique_ptr<QApplication> makeTestApplication(int& argc, char** argv);

}  // namespace glidewheel::testing
