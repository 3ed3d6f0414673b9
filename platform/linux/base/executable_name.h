// SPDX-License-Identifier: MIT

#pragma once

#include <cstdint>
#include <string>

namespace glidewheel::platform::linuxdesktop {

// The file name of the program running as `pid`, without the " (deleted)" of one replaced since
// it started; the process's own name where its executable cannot be read (another user's); empty
// for a process that is gone.
std::string executableOf(std::uint32_t pid);

}  // namespace glidewheel::platform::linuxdesktop
