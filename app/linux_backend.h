// SPDX-License-Identifier: MIT

#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include <QObject>

#include "platform/linux/desktop/build_bundle.h"
#include "platform/linux/desktop/json_user_defaults.h"
#include "platform/linux/desktop/pointer_lookup.h"
#include "platform/linux/desktop/wheel_reception.h"
#include "platform/linux/desktop/xdg_autostart.h"
#include "platform/linux/display/vblank_display_link.h"
#include "platform/linux/input/devices/input_access_trust.h"
#include "platform/linux/input/evdev_event_tap.h"
#include "platform/services.h"

class QScreen;

namespace glidewheel {

// The primary screen's refresh rate in Hz (0 when unknown), kept up to date on the main thread
// and readable from any: display links are made from the tap's callback on the input thread,
// where Qt's screens must not be touched.
class PrimaryRefreshRate {
public:
    PrimaryRefreshRate();
    double hz() const { return hz_; }

private:
    void follow(QScreen* screen);

    QObject context_;  // ends the connections with this object
    QMetaObject::Connection screenConnection_;
    std::atomic<double> hz_ = 0.0;
};

// The real services the program runs on: wheel mice through evdev and uinput (left alone on a
// desktop that would show applications the glide late), a display link on the display's
// vblanks (or a timer), the settings file and autostart entry under the user's config
// directory, input-device access as trust, and the application under the pointer where the
// session shows it. Needs the QApplication; must outlive
// every use of the shared settings and interceptor, which live until the process ends.
class LinuxBackend {
public:
    // `promptForAccess` runs when interception finds input access missing. Access is judged by
    // the device nodes under `systemRoot` ("" on a real system).
    LinuxBackend(std::function<void()> promptForAccess, const std::string& systemRoot);

    platform::Services services();
    platform::linuxdesktop::EvdevEventTapService& eventTaps() { return eventTaps_; }
    platform::PointerApplication& pointerApplication() { return *pointerApplication_; }

private:
    PrimaryRefreshRate refreshRate_;
    platform::linuxdesktop::WheelReception wheelReception_;
    platform::linuxdesktop::EvdevEventTapService eventTaps_;
    // Its links publish their frames to the taps, whose settling lands on them.
    platform::linuxdesktop::VblankDisplayLinkService displayLinks_;
    platform::linuxdesktop::InputAccessTrust trust_;
    platform::linuxdesktop::JsonUserDefaults userDefaults_;
    platform::linuxdesktop::XdgAutostartLoginItems loginItems_;
    platform::linuxdesktop::BuildBundle bundle_;
    std::unique_ptr<platform::PointerApplication> pointerApplication_;
};

}  // namespace glidewheel
