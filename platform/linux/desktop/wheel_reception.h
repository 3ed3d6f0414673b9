// SPDX-License-Identifier: MIT

#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace glidewheel::platform::linuxdesktop {

// What the desktop that reads the clones makes of a glide's partial detents. The X server,
// weston, sway and mutter pass them on, or fold them into whole detents as they come, so a
// notch shows at the glide's first refresh. KWin 5 (Plasma 5 on Wayland) holds every detent
// back from each client that binds wl_seat before version 8 (GTK 3, Qt 5 and 6.4, XWayland:
// nearly every application) until 120 units have built up, which is at the glide's end, some
// 300 ms after the notch, while a plain wheel's detent reaches them at once. There the mice
// are left alone. KWin 6 releases a detent once half of it has come, as the clones' raised
// first post does.
struct WheelReception {
    bool holdsPartialDetents = false;
    std::string desktop;  // who holds them back, for the line that says so
};

// Judged from the session's environment (a lookup that returns null for an unset variable):
// XDG_SESSION_TYPE, or else WAYLAND_DISPLAY, for a Wayland session; XDG_CURRENT_DESKTOP (a
// colon-separated list) and KDE_SESSION_VERSION for Plasma's version. A Plasma session on
// Wayland that does not say it is 6 or later is taken for Plasma 5: never later than a plain
// wheel comes first.
WheelReception wheelReceptionOf(const std::function<const char*(const char*)>& variable);

// XDG_SESSION_TYPE, or else WAYLAND_DISPLAY, says Wayland.
bool isWaylandSession(const std::function<const char*(const char*)>& variable);

// XDG_CURRENT_DESKTOP (a colon-separated list) names `desktop`: "KDE", "GNOME".
bool isCurrentDesktop(const std::function<const char*(const char*)>& variable,
                      std::string_view desktop);

}  // namespace glidewheel::platform::linuxdesktop
