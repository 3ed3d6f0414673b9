// SPDX-License-Identifier: MIT

#pragma once

#include <QObject>

#include "platform/linux/input/evdev_event_tap.h"
#include "settings/observable.h"
#include "settings/preferences.h"

namespace glidewheel {

// Carries the mice switches between the settings and the input thread, each way without the
// input thread ever waiting for this one: the switches go to the taps as a copy whenever they
// change, and the mice the taps report present come back as a copy queued to the main thread,
// where the settings remember them. Main thread; outlived by both ends.
class WheelMiceLink {
public:
    WheelMiceLink(Preferences& prefs, platform::linuxdesktop::EvdevEventTapService& taps);
    ~WheelMiceLink();
    WheelMiceLink(const WheelMiceLink&) = delete;
    WheelMiceLink& operator=(const WheelMiceLink&) = delete;

private:
    platform::linuxdesktop::EvdevEventTapService& taps_;
    QObject context_;  // the main thread's end of the reports; those still queued die with it
    Cancellable switches_;
};

}  // namespace glidewheel
