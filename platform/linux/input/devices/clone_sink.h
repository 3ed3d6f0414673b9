// SPDX-License-Identifier: MIT

#pragma once

#include <linux/input.h>

#include <memory>
#include <mutex>
#include <span>
#include <string>

#include "platform/linux/input/devices/handles.h"
#include "platform/linux/input/wheel/wheel_codes.h"

namespace glidewheel::platform::linuxdesktop {

// The uinput device that stands in for a grabbed mouse: the mouse's capabilities plus both
// wheels in both resolutions, under our clone name and ids, without key repeat (EV_REP): the
// kernel would otherwise generate repeats on the clone on top of those forwarded from the mouse.
// Forwarded frames and posted scroll are each written with a single write() under the clone's
// own lock, so frames from the main thread and the display-link thread never interleave.
class CloneSink {
public:
    // Null, with errno's description in `error`, when uinput refuses.
    static std::unique_ptr<CloneSink> create(const libevdev* source, std::string& error);

    CloneSink(const CloneSink&) = delete;
    CloneSink& operator=(const CloneSink&) = delete;

    // The clone's /dev/input/event* node, empty if it cannot be found.
    std::string devnode() const;

    // Writes one whole frame, SYN_REPORT included. False when the write failed.
    bool writeFrame(std::span<const input_event> frame);

    // Writes one axis's wheel codes as a frame of their own.
    void writeWheel(WheelAxis axis, WheelCodes codes);

private:
    CloneSink(UniqueFd uinputFd, UinputPtr uinput);
    bool writeLocked(std::span<const input_event> frame);

    UniqueFd uinputFd_;
    UinputPtr uinput_;  // destroyed before its descriptor closes
    std::mutex mutex_;
};

}  // namespace glidewheel::platform::linuxdesktop
