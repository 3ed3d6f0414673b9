#pragma once

#include <functional>
#include <string_view>

namespace glidewheel {

inline constexpr std::string_view kNoSessionMessage =
    "Glidewheel needs a desktop session: neither DISPLAY nor WAYLAND_DISPLAY is set. "
    "Start it from a graphical login.";

// Whether the toolkit has a display to open: an X11 or Wayland session, or a Qt platform chosen
// explicitly with QT_QPA_PLATFORM (offscreen, for one). `variable` returns an environment
// variable's value, or null when it is unset; an empty value counts as unset.
bool hasGraphicalSession(const std::function<const char*(const char*)>& variable);

// Whether to run through X11 although a Wayland session is there too (XWayland): Wayland lets
// no program place its windows, so the popup could not hang below the tray icon. True when both
// DISPLAY and WAYLAND_DISPLAY are set and no Qt platform was chosen explicitly.
bool prefersX11(const std::function<const char*(const char*)>& variable);

}  // namespace glidewheel
