// SPDX-License-Identifier: MIT

#pragma once

#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>

namespace glidewheel::platform::linuxdesktop {

// "<what> <path>: <strerror text of error>", as in "Cannot write /home/a/x.json: No space left
// on device" or "cannot grab /dev/input/event5: Device or resource busy".
inline std::string describeError(std::string_view what, const std::filesystem::path& path,
                                 int error) {
    std::string text(what);
    text += ' ';
    text += path.string();
    text += ": ";
    text += std::strerror(error);
    return text;
}

}  // namespace glidewheel::platform::linuxdesktop
