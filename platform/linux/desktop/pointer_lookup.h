// SPDX-License-Identifier: MIT

#pragma once

#include <functional>
#include <memory>

#include "platform/pointer_application.h"

namespace glidewheel::platform::linuxdesktop {

// The way this session lets the program see the application under the pointer, judged from its
// environment as wheelReceptionOf does: the X server's in an X11 session. A Wayland session has
// none here: each compositor offers its own (a KWin script, the wlroots foreign-toplevel
// protocol), which would join as backends of their own, and XWayland sees only its own windows.
std::unique_ptr<PointerApplication> pointerApplicationOf(
    const std::function<const char*(const char*)>& variable);

}  // namespace glidewheel::platform::linuxdesktop
