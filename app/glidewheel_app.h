// SPDX-License-Identifier: MIT

#pragma once

#include <QApplication>

#include "app/app_delegate.h"

namespace glidewheel {

// The application: one AppDelegate for the whole run, and a main loop that keeps going when the
// last window closes (the program lives in the tray). Install the platform services before
// run().
class GlidewheelApp : public QApplication {
    Q_OBJECT
public:
    GlidewheelApp(int& argc, char** argv);

    AppDelegate& appDelegate() { return appDelegate_; }

    // Launches the delegate and runs the main loop until the application quits. Returns 0.
    int run();

private:
    AppDelegate appDelegate_;
};

}  // namespace glidewheel
