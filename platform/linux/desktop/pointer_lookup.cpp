// SPDX-License-Identifier: MIT

#include "platform/linux/desktop/pointer_lookup.h"

#include <cstdio>

#include "platform/linux/desktop/kwin_pointer_application.h"
#include "platform/linux/desktop/sway_pointer_application.h"
#include "platform/linux/desktop/wheel_reception.h"
#include "platform/linux/desktop/x11_pointer_application.h"

namespace glidewheel::platform::linuxdesktop {

std::unique_ptr<PointerApplication> pointerApplicationOf(
    const std::function<const char*(const char*)>& variable) {
    if (!isWaylandSession(variable)) {
        if (std::unique_ptr<PointerApplication> x11 = X11PointerApplication::open()) return x11;
        std::fprintf(stderr,
                     "glidewheel: the X display offers no XInput 2; applications cannot "
                     "keep the raw wheel\n");
    }
    if (const char* sway = variable("SWAYSOCK"); isWaylandSession(variable) && sway && *sway) {
        if (std::unique_ptr<PointerApplication> focused = SwayPointerApplication::open(sway))
            return focused;
        std::fprintf(stderr,
                     "glidewheel: sway's socket %s does not answer; applications cannot "
                     "keep the raw wheel\n",
                     sway);
    }
    if (isWaylandSession(variable) && isCurrentDesktop(variable, "KDE")) {
        if (std::unique_ptr<KwinPointerApplication> underCursor = KwinPointerApplication::open())
            return underCursor;
        std::fprintf(stderr,
                     "glidewheel: KWin's scripting does not answer on the session bus; "
                     "applications cannot keep the raw wheel\n");
    }
    return std::make_unique<NoPointerApplication>();
}

}  // namespace glidewheel::platform::linuxdesktop
