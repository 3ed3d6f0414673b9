#include "app/linux_backend.h"

#include <utility>

#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>

namespace glidewheel {

namespace {

double primaryRefreshRateHz() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen != nullptr ? screen->refreshRate() : 0.0;  // 0: unknown, the link picks 60 Hz
}

}  // namespace

LinuxBackend::LinuxBackend(std::function<void()> promptForAccess)
    : displayLinks_(&primaryRefreshRateHz),
      trust_(std::move(promptForAccess)),
      userDefaults_(platform::linuxdesktop::JsonUserDefaults::defaultFile()),
      loginItems_(platform::linuxdesktop::XdgAutostartLoginItems::defaultEntryFile(),
                  QCoreApplication::applicationFilePath().toStdString()) {}

platform::Services LinuxBackend::services() {
    return platform::Services{&eventTaps_,    &displayLinks_, &trust_,
                              &userDefaults_, &loginItems_,   &bundle_};
}

}  // namespace glidewheel
