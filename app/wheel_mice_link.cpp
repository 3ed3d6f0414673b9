// SPDX-License-Identifier: MIT

#include "app/wheel_mice_link.h"

#include <utility>
#include <vector>

namespace glidewheel {

WheelMiceLink::WheelMiceLink(Preferences& prefs, platform::linuxdesktop::EvdevEventTapService& taps)
    : taps_(taps) {
    taps_.setWheelMice(prefs.wheelMice());
    switches_ =
        prefs.wheelMiceChanged().sink([&prefs, &taps] { taps.setWheelMice(prefs.wheelMice()); });
    taps_.setWheelMiceListener([this, &prefs](std::vector<platform::KnownWheelMouse> present) {
        QMetaObject::invokeMethod(
            &context_, [&prefs, present = std::move(present)] { prefs.noteWheelMice(present); },
            Qt::QueuedConnection);
    });
}

WheelMiceLink::~WheelMiceLink() { taps_.setWheelMiceListener({}); }

}  // namespace glidewheel
