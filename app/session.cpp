#include "app/session.h"

namespace glidewheel {

bool hasGraphicalSession(const std::function<const char*(const char*)>& variable) {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = variable(name);
        if (value != nullptr && *value != '\0') return true;
    }
    return false;
}

}  // namespace glidewheel
