// SPDX-License-Identifier: MIT

// Which desktops hold a glide's partial detents back from applications, judged from the
// session's environment.

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>

#include "platform/linux/desktop/wheel_reception.h"

namespace glidewheel::platform::linuxdesktop {
namespace {

// A session's environment as its variables, "NAME=value" apart by spaces.
struct Row {
    const char* name;
    const char* environment;
    const char* desktop;  // that holds partial detents back; empty where none does
};

class WheelReceptionTest : public testing::TestWithParam<Row> {};

TEST_P(WheelReceptionTest, LeavesTheWheelAloneOnlyWherePartialDetentsAreHeldBack) {
    std::map<std::string, std::string, std::less<>> environment;
    std::istringstream variables(GetParam().environment);
    for (std::string variable; variables >> variable;)
        environment[variable.substr(0, variable.find('='))] =
            variable.substr(variable.find('=') + 1);
    const WheelReception reception = wheelReceptionOf([&](const char* name) -> const char* {
        const auto found = environment.find(name);
        return found != environment.end() ? found->second.c_str() : nullptr;
    });
    EXPECT_EQ(reception.holdsPartialDetents, *GetParam().desktop != '\0');
    EXPECT_EQ(reception.desktop, GetParam().desktop);
}

const Row kRows[] = {
    {"Plasma5Wayland", "XDG_SESSION_TYPE=wayland XDG_CURRENT_DESKTOP=KDE KDE_SESSION_VERSION=5",
     "KDE Plasma 5 on Wayland"},
    {"Plasma5ByItsSocketAlone",
     "WAYLAND_DISPLAY=wayland-0 XDG_CURRENT_DESKTOP=KDE KDE_SESSION_VERSION=5",
     "KDE Plasma 5 on Wayland"},
    {"PlasmaAmongOtherDesktops", "XDG_SESSION_TYPE=wayland XDG_CURRENT_DESKTOP=X-Custom:KDE",
     "KDE Plasma on Wayland"},
    {"PlasmaOfUnreadableVersion",
     "XDG_SESSION_TYPE=wayland XDG_CURRENT_DESKTOP=KDE KDE_SESSION_VERSION=6x",
     "KDE Plasma on Wayland"},
    {"Plasma6Wayland", "XDG_SESSION_TYPE=wayland XDG_CURRENT_DESKTOP=KDE KDE_SESSION_VERSION=6",
     ""},
    {"Plasma5OnX11", "XDG_SESSION_TYPE=x11 WAYLAND_DISPLAY=wayland-0 XDG_CURRENT_DESKTOP=KDE", ""},
    {"GnomeWayland", "XDG_SESSION_TYPE=wayland XDG_CURRENT_DESKTOP=GNOME", ""},
    {"SwayNamedLikeKde", "WAYLAND_DISPLAY=wayland-1 XDG_CURRENT_DESKTOP=KDEsway", ""},
    {"NothingSet", "", ""},
};

INSTANTIATE_TEST_SUITE_P(Sessions, WheelReceptionTest, testing::ValuesIn(kRows),
                         [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace glidewheel::platform::linuxdesktop
