// SPDX-License-Identifier: MIT

#pragma once

#include <functional>
#include <memory>

#include "platform/pointer_application.h"

namespace glidewheel::platform::linuxdesktop {

// The way this session lets the program see the application under the pointer, judged from its
// environment as wheelReceptionOf does: the X server's in an X11 session; in a Wayland session,
// sway's IPC socket under sway ($SWAYSOCK), KWin's scripting under KDE Plasma, else the
// foreign-toplevel manager that other wlroots compositors offer. mutter offers none: there the X
// server's lookup runs on XWayland, which sees its own windows only; without XWayland none is
// found, and the list does not apply.
std::unique_ptr<PointerApplication> pointerApplicationOf(
    const std::function<const char*(const char*)>& variable);

}  // namespace glidewheel::platform::linuxdesktop
