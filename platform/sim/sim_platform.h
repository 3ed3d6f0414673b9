// SPDX-License-Identifier: MIT

#pragma once

#include "platform/services.h"
#include "platform/sim/sim_display_link.h"
#include "platform/sim/sim_event_stream.h"
#include "platform/sim/sim_system.h"

namespace glidewheel::platform::sim {

// Every sim service in one place, installable as the program's backend.
struct SimPlatform {
    SimEventStream events;
    SimDisplayLinkService displayLinks;
    SimTrust trust;
    SimUserDefaults userDefaults;
    SimLoginItems loginItems;
    SimBundle bundle;
    SimPointerApplication pointerApplication;

    Services services() {
        return Services{&events, &displayLinks,      &trust, &userDefaults, &loginItems,
                        &bundle, &pointerApplication};
    }
    void install() { platform::install(services()); }
};

}  // namespace glidewheel::platform::sim
