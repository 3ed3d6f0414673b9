// SPDX-License-Identifier: MIT

#include "app/linux_backend.h"

#include <cstdio>
#include <cstdlib>
#include <utility>

#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>

namespace glidewheel {

namespace {

using platform::linuxdesktop::probeInputAccess;

double primaryRefreshRateHz() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen != nullptr ? screen->refreshRate() : 0.0;  // 0: unknown, the link picks 60 Hz
}

platform::linuxdesktop::WheelReception announced(platform::linuxdesktop::WheelReception reception) {
    if (reception.holdsPartialDetents) {
        std::fprintf(stderr,
                     "Glidewheel: %s shows most applications a wheel detent only once it is "
                     "whole, so a glide would reach them about 300 ms late; the wheel is left as "
                     "the mouse sends it.\n",
                     reception.desktop.c_str());
    }
    return reception;
}

}  // namespace

PrimaryRefreshRate::PrimaryRefreshRate() {
    follow(QGuiApplication::primaryScreen());
    QObject::connect(qGuiApp, &QGuiApplication::primaryScreenChanged, &context_,
                     [this](QScreen* screen) { follow(screen); });
}

void PrimaryRefreshRate::follow(QScreen* screen) {
    QObject::disconnect(screenConnection_);
    if (screen != nullptr) {
        screenConnection_ = QObject::connect(screen, &QScreen::refreshRateChanged, &context_,
                                             [this] { hz_ = primaryRefreshRateHz(); });
    }
    hz_ = primaryRefreshRateHz();
}

LinuxBackend::LinuxBackend(std::function<void()> promptForAccess, const std::string& systemRoot)
    : wheelReception_(announced(platform::linuxdesktop::wheelReceptionOf(std::getenv))),
      eventTaps_(wheelReception_.holdsPartialDetents),
      displayLinks_([this] { return refreshRate_.hz(); },
                    platform::linuxdesktop::VblankDisplayLinkService::openCardsInDevDri,
                    &eventTaps_.displayRefreshes()),
      trust_(std::move(promptForAccess), [systemRoot] { return probeInputAccess(systemRoot); }),
      userDefaults_(platform::linuxdesktop::JsonUserDefaults::defaultFile()),
      loginItems_(platform::linuxdesktop::XdgAutostartLoginItems::defaultEntryFile(),
                  QCoreApplication::applicationFilePath().toStdString()),
      pointerApplication_(platform::linuxdesktop::pointerApplicationOf(std::getenv)) {}

platform::Services LinuxBackend::services() {
    return platform::Services{&eventTaps_,
                              &displayLinks_,
                              &trust_,
                              &userDefaults_,
                              &loginItems_,
                              &bundle_,
                              pointerApplication_.get(),
                              wheelReception_.holdsPartialDetents ? wheelReception_.desktop : ""};
}

}  // namespace glidewheel
