// SPDX-License-Identifier: MIT

#pragma once

#include <atomic>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include <systemd/sd-bus.h>

#include "platform/linux/base/unique_fd.h"
#include "platform/pointer_application.h"

namespace glidewheel::platform::linuxdesktop {

// The application under the pointer on KDE Plasma (Wayland or X11), told by a small KWin script
// that this lookup loads into KWin while the answer is needed: KWin knows which window is under
// its cursor, and the script calls back over the session bus each time another one comes under
// it, or the one under it closes or moves away. Nothing is asked per notch.
//
// The window's names: KWin's resource class (the app_id of a Wayland window, the WM_CLASS class
// of an X one), its resource name, and the executable of its process.
class KwinPointerApplication final : public PointerApplication {
public:
    // The plugin name the script is loaded under; one left by a previous run is replaced.
    static constexpr const char* kScriptName = "glidewheel-pointer-application";

    // Null when the session bus or KWin's scripting does not answer, or there is no
    // XDG_RUNTIME_DIR to write the script to (logged).
    static std::unique_ptr<KwinPointerApplication> open();
    ~KwinPointerApplication() override;  // unloads the script
    KwinPointerApplication(const KwinPointerApplication&) = delete;
    KwinPointerApplication& operator=(const KwinPointerApplication&) = delete;

    bool isAvailable() const override { return true; }
    void setNeeded(bool needed) override;

private:
    KwinPointerApplication(sd_bus* bus, std::filesystem::path script, UniqueFd wake);
    void run();
    // Loads and starts the script, or unloads it, as needed_ says. Lookup thread.
    void follow(bool needed);
    static int onWindow(sd_bus_message* call, void* self, sd_bus_error* error);

    sd_bus* bus_;  // the lookup thread's once it runs
    std::filesystem::path script_;
    std::string kwin_;  // KWin's unique name: the only caller heard
    sd_bus_slot* object_ = nullptr;
    bool loaded_ = false;
    std::atomic<bool> needed_{false}, stopping_{false};
    UniqueFd wake_;  // an eventfd: needed_ or stopping_ changed
    std::thread thread_;
};

}  // namespace glidewheel::platform::linuxdesktop
