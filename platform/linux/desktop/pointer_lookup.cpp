// SPDX-License-Identifier: MIT

#include "platform/linux/desktop/pointer_lookup.h"

#include <cstdio>

#include "platform/linux/desktop/kwin_pointer_application.h"
#include "platform/linux/desktop/sway_pointer_application.h"
#include "platform/linux/desktop/wheel_reception.h"
#include "platform/linux/desktop/wlroots_pointer_application.h"
#include "platform/linux/desktop/x11_pointer_application.h"

namespace glidewheel::platform::linuxdesktop {

std::unique_ptr<PointerApplication> pointerApplicationOf(
    const std::function<const char*(const char*)>& variable) {
    std::unique_ptr<PointerApplication> lookup;
    const char* sway = variable("SWAYSOCK");
    if (!isWaylandSession(variable)) {
        lookup = X11PointerApplication::open();
        if (!lookup)
            std::fprintf(stderr,
                         "glidewheel: the X display offers no XInput 2; applications cannot "
                         "keep the raw wheel\n");
    } else if (sway && *sway) {
        lookup = SwayPointerApplication::open(sway);
        if (!lookup)
            std::fprintf(stderr,
                         "glidewheel: sway's socket %s does not answer; applications cannot "
                         "keep the raw wheel\n",
                         sway);
    } else if (isCurrentDesktop(variable, "KDE")) {
        lookup = KwinPointerApplication::open();
        if (!lookup)
            std::fprintf(stderr,
                         "glidewheel: KWin's scripting does not answer on the session bus; "
                         "applications cannot keep the raw wheel\n");
    } else {
        lookup = WlrootsPointerApplication::open(variable("WAYLAND_DISPLAY"));
        // Where the compositor shows none, XWayland still shows its own windows: games and
        // emulated programs, the applications most often listed, are mostly among them.
        if (const char* xwayland = variable("DISPLAY"); !lookup && xwayland && *xwayland)
            lookup = X11PointerApplication::open(xwayland, /*xwaylandOnly=*/true);
    }
    if (!lookup) return std::make_unique<NoPointerApplication>();
    return lookup;
}

}  // namespace glidewheel::platform::linuxdesktop
