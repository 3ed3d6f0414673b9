#include "app/session.h"

namespace glidewheel {

namespace {

bool isSet(const std::function<const char*(const char*)>& variable, const char* name) {
    const char* value = variable(name);
    return value != nullptr && *value != '\0';
}

}  // namespace

bool hasGraphicalSession(const std::function<const char*(const char*)>& variable) {
    return isSet(variable, "DISPLAY") || isSet(variable, "WAYLAND_DISPLAY") ||
           isSet(variable, "QT_QPA_PLATFORM");
}

bool prefersX11(const std::function<const char*(const char*)>& variable) {
    return isSet(variable, "DISPLAY") && isSet(variable, "WAYLAND_DISPLAY") &&
           !isSet(variable, "QT_QPA_PLATFORM");
}

}  // namespace glidewheel
