#include "app/glidewheel_app.h"

namespace glidewheel {

GlidewheelApp::GlidewheelApp(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("glidewheel"));
    setDesktopFileName(QStringLiteral("glidewheel"));
    // No display name: Qt would append it to every window title.
    setQuitOnLastWindowClosed(false);
}

int GlidewheelApp::run() {
    attach(delegate_, *this);
    exec();
    return 0;
}

}  // namespace glidewheel
