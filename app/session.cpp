// SPDX-License-Identifier: MIT

#include "app/session.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

#include "platform/linux/base/unique_fd.h"

namespace glidewheel {

namespace {

const char* valueOf(const EnvironmentLookup& variable, const char* name) {
    const char* value = variable(name);
    return value != nullptr && *value != '\0' ? value : nullptr;
}

bool canConnectToSocket(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof(address.sun_path)) return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const auto socket =
        platform::linuxdesktop::adoptFd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    return socket && ::connect(socket.get().fd, reinterpret_cast<const sockaddr*>(&address),
                               sizeof(address)) == 0;
}

}  // namespace

std::optional<std::string> choosePlatform(const EnvironmentLookup& variable,
                                          const DisplayProbe& canOpen) {
    if (valueOf(variable, "QT_QPA_PLATFORM") != nullptr) return std::string();
    if (const char* x11 = valueOf(variable, "DISPLAY"); x11 && canOpen(DisplayKind::x11, x11)) {
        return "xcb";
    }
    if (const char* wayland = valueOf(variable, "WAYLAND_DISPLAY");
        wayland && canOpen(DisplayKind::wayland, wayland)) {
        return "wayland";
    }
    return std::nullopt;
}

bool canOpenDisplay(DisplayKind kind, const std::string& name) {
    if (kind == DisplayKind::x11) {
        xcb_connection_t* connection = xcb_connect(name.c_str(), nullptr);
        const bool opened = xcb_connection_has_error(connection) == 0;
        xcb_disconnect(connection);  // also frees a connection in error
        return opened;
    }
    if (!name.empty() && name.front() == '/') return canConnectToSocket(name);
    const char* runtimeDir = std::getenv("XDG_RUNTIME_DIR");
    if (runtimeDir == nullptr || *runtimeDir == '\0') return false;
    return canConnectToSocket(std::string(runtimeDir) + '/' + name);
}

}  // namespace glidewheel
