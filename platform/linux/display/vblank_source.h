// SPDX-License-Identifier: MIT

#pragma once

#include <cstdint>
#include <functional>

namespace glidewheel::platform::linuxdesktop {

// One display's vertical blanks as the kernel reports them: what VblankDisplayLink needs of a
// DRM card. Used from the link's thread only.
class VblankSource {
public:
    // The kernel's sequence number of the vblank and its time (CLOCK_MONOTONIC ns).
    using OnVblank = std::function<void(std::uint32_t sequence, std::int64_t timeNs)>;

    virtual ~VblankSource() = default;
    // Readable once a requested vblank event has arrived.
    virtual int fd() const = 0;
    // Looks afresh for the CRTC to follow and returns its refresh rate in Hz from its current
    // mode; 0 when no CRTC shows anything.
    virtual double followCrtc() = 0;
    // Asks for one event at the next vblank of that CRTC. 0, or the errno: EINVAL while the
    // display is off, EOPNOTSUPP when the driver has no vblank interrupts.
    virtual int requestNextVblank() = 0;
    // Reads the events that have arrived, calling `onVblank` for each.
    virtual void readEvents(const OnVblank& onVblank) = 0;
};

}  // namespace glidewheel::platform::linuxdesktop
