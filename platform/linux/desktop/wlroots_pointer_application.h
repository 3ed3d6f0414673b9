// SPDX-License-Identifier: MIT

#pragma once

#include <memory>
#include <thread>
#include <vector>

#include "platform/linux/base/unique_fd.h"
#include "platform/pointer_application.h"

struct wl_display;
struct zwlr_foreign_toplevel_manager_v1;
struct zwlr_foreign_toplevel_handle_v1;

namespace glidewheel::platform::linuxdesktop {

// The application under the pointer on a wlroots compositor other than sway (labwc, wayfire,
// river, Hyprland), as its foreign-toplevel manager tells a taskbar: the activated window. Where
// focus follows the mouse (Hyprland's default, a setting in the others) that is the window the
// pointer went onto, and so the one the compositor sends the wheel to, as under sway. A thread
// of its own hears of each window's changes from the compositor; nothing is asked per notch.
//
// The window's name is its app_id, which is also what an X window under XWayland gets from its
// WM_CLASS class; the protocol names no process, so there is no executable to match.
class WlrootsPointerApplication final : public PointerApplication {
public:
    // On the Wayland display as wl_display_connect takes it ($WAYLAND_DISPLAY's when null). Null
    // when it cannot be reached or offers no foreign-toplevel manager.
    static std::unique_ptr<WlrootsPointerApplication> open(const char* display = nullptr);
    ~WlrootsPointerApplication() override;
    WlrootsPointerApplication(const WlrootsPointerApplication&) = delete;
    WlrootsPointerApplication& operator=(const WlrootsPointerApplication&) = delete;

    bool isAvailable() const override { return true; }

private:
    struct Disconnect {
        void operator()(wl_display*) const;
    };
    struct Toplevel;

    WlrootsPointerApplication(std::unique_ptr<wl_display, Disconnect> display,
                              zwlr_foreign_toplevel_manager_v1* manager, UniqueFd wake);
    void run();
    void adopt(zwlr_foreign_toplevel_handle_v1* handle);
    void settle(const Toplevel& toplevel);

    // The display and the objects on it belong to the thread once it runs.
    std::unique_ptr<wl_display, Disconnect> display_;
    UniqueFd wake_;                              // an eventfd: the thread is to end
    zwlr_foreign_toplevel_manager_v1* manager_;  // null once the compositor finished with it
    std::vector<std::unique_ptr<Toplevel>> toplevels_;
    const Toplevel* activated_ = nullptr;
    std::thread thread_;
};

}  // namespace glidewheel::platform::linuxdesktop
