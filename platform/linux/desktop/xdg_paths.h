// SPDX-License-Identifier: MIT

#pragma once

#include <filesystem>

namespace glidewheel::platform::linuxdesktop {

// The user's configuration directory: $XDG_CONFIG_HOME when it is an absolute path, else
// $HOME/.config, with HOME taken from the password database when the environment lacks it.
std::filesystem::path configHome();

}  // namespace glidewheel::platform::linuxdesktop
