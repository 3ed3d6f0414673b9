// SPDX-License-Identifier: MIT

#include "platform/known_wheel_mouse.h"

#include <cstdio>

namespace glidewheel::platform {

std::string KnownWheelMouse::vendorProduct() const {
    char text[10];
    std::snprintf(text, sizeof text, "%04x:%04x", vendor, product);
    return text;
}

// The name comes last, as it is the one part that may hold any character.
std::string KnownWheelMouse::id() const {
    return vendorProduct() + "/" + physicalPath + "/" + name;
}

}  // namespace glidewheel::platform
