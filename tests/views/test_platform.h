#pragma once

#include <QWidget>

#include "platform/sim/sim_platform.h"

namespace glidewheel::test {

// The sim backend installed for the whole test binary. Tests set its trust switch and bundle;
// each test that needs settings makes its own Preferences over its user defaults.
platform::sim::SimPlatform& sim();

// Puts every service back as a fresh binary would see it: trusted, version "1.0".
void resetSim();

// The widgets of `parent`'s top-level layout that would be shown with it, in layout order.
QList<QWidget*> visibleRows(const QWidget& parent);

}  // namespace glidewheel::test
