// SPDX-License-Identifier: MIT

#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace glidewheel {

inline constexpr std::string_view kNoSessionMessage =
    "Glidewheel needs a desktop session: neither DISPLAY nor WAYLAND_DISPLAY names a display "
    "that can be opened. Start it from a graphical login.";

enum class DisplayKind { x11, wayland };

// Returns an environment variable's value, or null when it is unset; empty counts as unset.
using EnvironmentLookup = std::function<const char*(const char*)>;
// Whether the display of that kind and name (a variable's value) answers.
using DisplayProbe = std::function<bool(DisplayKind, const std::string&)>;

// The Qt platform to run on, decided before the toolkit starts, because the toolkit aborts when
// its platform cannot open the display:
// - "" when QT_QPA_PLATFORM chose one explicitly (offscreen, for one): that choice stands;
// - "xcb" when DISPLAY opens, also when a Wayland session is there too (XWayland): Wayland lets
//   no program place its windows, so the popup could not hang below the tray icon;
// - "wayland" when only WAYLAND_DISPLAY opens;
// - nothing when no display opens: none is set, or the one set is stale.
std::optional<std::string> choosePlatform(const EnvironmentLookup& variable,
                                          const DisplayProbe& canOpen);

// Opens the display for a moment: an X11 connection (authorisation included) for DISPLAY, a
// connection to the compositor's socket for WAYLAND_DISPLAY (a name relative to
// XDG_RUNTIME_DIR, or an absolute path).
bool canOpenDisplay(DisplayKind kind, const std::string& name);

}  // namespace glidewheel
