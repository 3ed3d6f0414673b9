// SPDX-License-Identifier: MIT

#include "platform/linux/desktop/xdg_paths.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

namespace glidewheel::platform::linuxdesktop {
namespace {

std::filesystem::path homeDirectory() {
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') return home;
    if (const passwd* entry = getpwuid(getuid()); entry != nullptr && entry->pw_dir != nullptr) {
        return entry->pw_dir;
    }
    return "/";
}

}  // namespace

std::filesystem::path configHome() {
    // XDG base directories must be absolute: a relative value is invalid and ignored.
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && xdg[0] == '/') {
        return xdg;
    }
    return homeDirectory() / ".config";
}

}  // namespace glidewheel::platform::linuxdesktop
