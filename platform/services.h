// SPDX-License-Identifier: MIT

#pragma once

#include <string>

#include "platform/display_link.h"
#include "platform/event_tap.h"
#include "platform/pointer_application.h"
#include "platform/system.h"

namespace glidewheel::platform {

// The operating-system services the program runs on. The program (or a test) installs one
// backend at start-up, before the first use of the shared engine or settings objects; the
// services must outlive every use.
struct Services {
    EventTapService* eventTaps = nullptr;
    DisplayLinkService* displayLinks = nullptr;
    Trust* trust = nullptr;
    UserDefaults* userDefaults = nullptr;
    LoginItems* loginItems = nullptr;
    Bundle* bundle = nullptr;
    // None where a backend has no way to tell: then no notch keeps the raw wheel.
    PointerApplication* pointerApplication = nullptr;
    // The desktop on which the mice are left as they are, as it would show most applications a
    // glide late ("KDE Plasma 5 on Wayland"); empty where they glide.
    std::string miceLeftAloneOn{};
};

void install(const Services& services);

// The installed services. Aborts with a message when none were installed: running without a
// backend is a programming error, not a state to limp along in.
const Services& services();

}  // namespace glidewheel::platform
