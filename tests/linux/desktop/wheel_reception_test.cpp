// SPDX-License-Identifier: MIT

// Which desktops hold a glide's partial detents back from applications, judged from the
// session's environment.

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "platform/linux/desktop/wheel_reception.h"

namespace glidewheel::platform::linuxdesktop {
namespace {

struct Row {
    const char* name;
    std::map<std::string, std::string> environment;
    bool holds;
    const char* desktop = "";
};

class WheelReceptionTest : public testing::TestWithParam<Row> {};

TEST_P(WheelReceptionTest, LeavesTheWheelAloneOnlyWherePartialDetentsAreHeldBack) {
    const auto& environment = GetParam().environment;
    const WheelReception reception = wheelReceptionOf([&](const char* name) -> const char* {
        const auto found = environment.find(name);
        return found != environment.end() ? found->second.c_str() : nullptr;
    });
    EXPECT_EQ(reception.holdsPartialDetents, GetParam().holds);
    EXPECT_EQ(reception.desktop, GetParam().desktop);
}

const Row kRows[] = {
    {"Plasma5Wayland",
     {{"XDG_SESSION_TYPE", "wayland"},
      {"XDG_CURRENT_DESKTOP", "KDE"},
      {"KDE_SESSION_VERSION", "5"}},
     true,
     "KDE Plasma 5 on Wayland"},
    {"Plasma5ByItsSocketAlone",
     {{"WAYLAND_DISPLAY", "wayland-0"},
      {"XDG_CURRENT_DESKTOP", "KDE"},
      {"KDE_SESSION_VERSION", "5"}},
     true,
     "KDE Plasma 5 on Wayland"},
    {"PlasmaAmongOtherDesktops",
     {{"XDG_SESSION_TYPE", "wayland"}, {"XDG_CURRENT_DESKTOP", "X-Custom:KDE"}},
     true,
     "KDE Plasma on Wayland"},
    {"PlasmaOfUnreadableVersion",
     {{"XDG_SESSION_TYPE", "wayland"},
      {"XDG_CURRENT_DESKTOP", "KDE"},
      {"KDE_SESSION_VERSION", "6x"}},
     true,
     "KDE Plasma on Wayland"},
    {"Plasma6Wayland",
     {{"XDG_SESSION_TYPE", "wayland"},
      {"XDG_CURRENT_DESKTOP", "KDE"},
      {"KDE_SESSION_VERSION", "6"}},
     false},
    {"Plasma5OnX11",
     {{"XDG_SESSION_TYPE", "x11"},
      {"WAYLAND_DISPLAY", "wayland-0"},
      {"XDG_CURRENT_DESKTOP", "KDE"}},
     false},
    {"GnomeWayland", {{"XDG_SESSION_TYPE", "wayland"}, {"XDG_CURRENT_DESKTOP", "GNOME"}}, false},
    {"SwayNamedLikeKde",
     {{"WAYLAND_DISPLAY", "wayland-1"}, {"XDG_CURRENT_DESKTOP", "KDEsway"}},
     false},
    {"NothingSet", {}, false},
};

INSTANTIATE_TEST_SUITE_P(Sessions, WheelReceptionTest, testing::ValuesIn(kRows),
                         [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace glidewheel::platform::linuxdesktop
