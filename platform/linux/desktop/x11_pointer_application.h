// SPDX-License-Identifier: MIT

#pragma once

#include <xcb/xcb.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "platform/linux/base/unique_fd.h"
#include "platform/pointer_application.h"

namespace glidewheel::platform::linuxdesktop {

// The application under the pointer on an X server, kept current while it is needed on a thread
// of its own that sleeps until the pointer moves (XInput 2 raw motion, which the root window hears
// from every device) or the windows change (maps, unmaps, restacking, the active window). It then
// asks the server which top-level window the pointer is over, at most once per kRequeryInterval,
// and reads the application's names only when that window changed.
//
// The window is the one with WM_STATE at or below the top-level window, which a window manager
// puts on the clients it has reparented into its frames; without a window manager the top-level
// window is the client. Its names: WM_CLASS (resource name and class), and the executable of
// _NET_WM_PID (/proc/PID/exe, else /proc/PID/comm, which any user may read).
class X11PointerApplication final : public PointerApplication {
public:
    // A pointer that moves keeps the answer at most this far behind it (ms): a person does not
    // turn the wheel sooner than this after reaching a window, and a 1000 Hz mouse would
    // otherwise cost a round trip to the server every millisecond.
    static constexpr std::chrono::milliseconds kRequeryInterval{10};

    // On the display named as xcb_connect takes it, $DISPLAY's when null. Null when it cannot be
    // opened or lacks XInput 2. `xwaylandOnly`: the display is a Wayland desktop's XWayland, which
    // shows its own windows only; over any other the pointer is on its root window.
    static std::unique_ptr<X11PointerApplication> open(const char* display = nullptr,
                                                       bool xwaylandOnly = false);
    ~X11PointerApplication() override;
    X11PointerApplication(const X11PointerApplication&) = delete;
    X11PointerApplication& operator=(const X11PointerApplication&) = delete;

    bool isAvailable() const override { return true; }
    bool seesOnlyX11Windows() const override { return xwaylandOnly_; }
    // Hears the pointer and the windows only while needed: a moving mouse would otherwise wake
    // the thread at its report rate for nothing.
    void setNeeded(bool needed) override;

private:
    struct Connection;

    X11PointerApplication(std::unique_ptr<Connection> connection, UniqueFd wake, bool xwaylandOnly);
    void run();
    // Reads what woke the thread; false once the connection is gone.
    bool readEvents(bool& moved, bool& windowsChanged);
    void lookUp(bool windowsChanged);

    std::unique_ptr<Connection> connection_;
    const bool xwaylandOnly_;
    UniqueFd wake_;  // an eventfd: the need changed, or the thread is to end
    std::atomic<bool> needed_ = false;
    std::atomic<bool> quit_ = false;
    xcb_window_t topLevel_ = XCB_WINDOW_NONE;  // the last one looked up; thread only
    std::thread thread_;
};

}  // namespace glidewheel::platform::linuxdesktop
