// SPDX-License-Identifier: MIT

#include "platform/linux/desktop/wheel_reception.h"

#include <charconv>
#include <string>
#include <string_view>

namespace glidewheel::platform::linuxdesktop {

namespace {

constexpr int kFirstPlasmaShowingHalfDetents = 6;

std::string_view valueOf(const std::function<const char*(const char*)>& variable,
                         const char* name) {
    const char* value = variable(name);
    return value != nullptr ? value : "";
}

}  // namespace

bool isCurrentDesktop(const std::function<const char*(const char*)>& variable,
                      std::string_view wanted) {
    std::string_view desktops = valueOf(variable, "XDG_CURRENT_DESKTOP");
    while (!desktops.empty()) {
        const std::size_t colon = desktops.find(':');
        if (desktops.substr(0, colon) == wanted) return true;
        if (colon == std::string_view::npos) break;
        desktops.remove_prefix(colon + 1);
    }
    return false;
}

bool isWaylandSession(const std::function<const char*(const char*)>& variable) {
    const std::string_view type = valueOf(variable, "XDG_SESSION_TYPE");
    if (type == "wayland") return true;
    if (type == "x11") return false;
    return !valueOf(variable, "WAYLAND_DISPLAY").empty();
}

WheelReception wheelReceptionOf(const std::function<const char*(const char*)>& variable) {
    if (!isWaylandSession(variable) || !isCurrentDesktop(variable, "KDE")) return {};
    const std::string_view version = valueOf(variable, "KDE_SESSION_VERSION");
    int major = 0;
    const auto parsed = std::from_chars(version.data(), version.data() + version.size(), major);
    const bool known = parsed.ec == std::errc() && parsed.ptr == version.data() + version.size();
    if (known && major >= kFirstPlasmaShowingHalfDetents) return {};
    return {true, known ? "KDE Plasma " + std::to_string(major) + " on Wayland"
                        : std::string("KDE Plasma on Wayland")};
}

}  // namespace glidewheel::platform::linuxdesktop
