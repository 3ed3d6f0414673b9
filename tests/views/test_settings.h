#pragma once

#include "platform/sim/sim_system.h"
#include "settings/preferences.h"

namespace glidewheel::test {

// A Preferences of its own over fresh in-memory defaults and login items, so that tests do not
// see each other's settings.
struct TestSettings {
    platform::sim::SimUserDefaults defaults;
    platform::sim::SimLoginItems loginItems;
    Preferences prefs{defaults, loginItems};
};

}  // namespace glidewheel::test
