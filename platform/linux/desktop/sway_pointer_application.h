// SPDX-License-Identifier: MIT

#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "platform/linux/base/unique_fd.h"
#include "platform/pointer_application.h"

namespace glidewheel::platform::linuxdesktop {

// The application under the pointer on sway, as its IPC socket ($SWAYSOCK) tells: the focused
// window, which under sway's default focus_follows_mouse is the one the pointer went onto, and to
// which sway sends the wheel. A thread of its own asks for the tree once and then hears of each
// focus change; nothing is asked per notch.
//
// The window's names: the executable of its process, and its app_id (a Wayland window) or its
// WM_CLASS instance and class (an X window under XWayland).
class SwayPointerApplication final : public PointerApplication {
public:
    // The longest message read from sway (bytes): a tree of hundreds of windows fits many times.
    static constexpr std::uint32_t kMaxMessageBytes = 16u << 20;

    // Null when the socket does not answer.
    static std::unique_ptr<SwayPointerApplication> open(const std::filesystem::path& socket);
    ~SwayPointerApplication() override;
    SwayPointerApplication(const SwayPointerApplication&) = delete;
    SwayPointerApplication& operator=(const SwayPointerApplication&) = delete;

    bool isAvailable() const override { return true; }

private:
    explicit SwayPointerApplication(UniqueFd socket);
    void run();

    UniqueFd socket_;  // shut down to end the thread
    std::thread thread_;
};

}  // namespace glidewheel::platform::linuxdesktop
