// SPDX-License-Identifier: MIT

#include "app/glidewheel_app.h"

#include <QIcon>

namespace glidewheel {

GlidewheelApp::GlidewheelApp(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("glidewheel"));
    setDesktopFileName(QStringLiteral("glidewheel"));
    setWindowIcon(QIcon::fromTheme(QStringLiteral("glidewheel")));  // the installed icon, if any
    // No display name: Qt would append it to every window title.
    setQuitOnLastWindowClosed(false);
}

int GlidewheelApp::run() {
    attach(appDelegate_, *this);
    exec();
    return 0;
}

}  // namespace glidewheel
