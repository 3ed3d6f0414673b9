// SPDX-License-Identifier: MIT

#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "platform/system.h"

namespace glidewheel::platform::linuxdesktop {

// The option the entry starts the program with, so that it opens no window at login.
inline constexpr const char* kBackgroundOption = "--background";

// The login item as an XDG autostart desktop entry that runs the program at login.
//
// The entry is recognised as this program's own by its "X-Glidewheel-Autostart=true" key.
// - status: enabled when our entry exists and is neither Hidden=true nor disabled with
//   X-GNOME-Autostart-enabled=false; notRegistered otherwise (also for another program's file).
// - register: writes our entry atomically, creating the directory if needed. A file of the same
//   name that is not ours is left alone and register fails with a description saying so.
// - unregister: removes our entry. An absent entry, or one that is not ours (left alone), is
//   success: nothing of ours starts at login either way.
// Failures carry the system's description of the error (strerror text).
class XdgAutostartLoginItems final : public LoginItems {
public:
    XdgAutostartLoginItems(std::filesystem::path entryFile, std::string executablePath);

    // $XDG_CONFIG_HOME/autostart/glidewheel.desktop (~/.config when XDG_CONFIG_HOME is unset,
    // empty or relative).
    static std::filesystem::path defaultEntryFile();

    LoginItemStatus status() const override;
    std::optional<std::string> registerMainApp() override;
    std::optional<std::string> unregisterMainApp() override;

private:
    const std::filesystem::path entryFile_;
    const std::string executablePath_;
};

// The Exec= value that runs `program` with no arguments, quoted and escaped as desktop entries
// require when the path holds spaces or other reserved characters.
std::string desktopEntryExecValue(const std::string& program);

}  // namespace glidewheel::platform::linuxdesktop
