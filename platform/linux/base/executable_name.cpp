// SPDX-License-Identifier: MIT

#include "platform/linux/base/executable_name.h"

#include <filesystem>
#include <fstream>
#include <string_view>

namespace glidewheel::platform::linuxdesktop {

std::string executableOf(std::uint32_t pid) {
    const std::filesystem::path process = "/proc/" + std::to_string(pid);
    std::error_code error;
    std::string name = std::filesystem::read_symlink(process / "exe", error).filename();
    if (!error) {
        constexpr std::string_view kDeleted = " (deleted)";
        if (name.ends_with(kDeleted)) name.resize(name.size() - kDeleted.size());
        return name;
    }
    std::ifstream comm(process / "comm");
    std::getline(comm, name);
    return comm ? name : std::string();
}

}  // namespace glidewheel::platform::linuxdesktop
