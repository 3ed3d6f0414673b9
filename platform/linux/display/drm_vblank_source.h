// SPDX-License-Identifier: MIT

#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/linux/display/vblank_source.h"

namespace glidewheel::platform::linuxdesktop {

// The refresh rate of a DRM display mode in Hz (pixel clock in kHz over the pixels of a frame,
// interlaced and double-scanned modes counted as the screen shows them); 0 for an empty mode.
double modeRefreshRateHz(std::uint32_t clockKHz, std::uint16_t htotal, std::uint16_t vtotal,
                         std::uint16_t vscan, std::uint32_t flags);

// The bits of a drmWaitVBlank request type that pick the CRTC at `crtcIndex` in the card's list.
std::uint32_t vblankCrtcSelect(int crtcIndex);

// Vblank events of the first card node in `directory` ("card0", "card1", ...) that has them
// and shows something, following its first active CRTC. Any user with access to the node may
// ask for them: the kernel needs neither master nor authentication for vblank waits. Null when
// no card can be opened or none has vblank events, with the reasons in `note`; otherwise
// `note` names the card and CRTC. Displays that are all off at the time are no reason: then
// the first card with vblank events is taken, and the link paces itself by a timer until a
// display comes on.
std::unique_ptr<VblankSource> openDrmVblankSource(const std::filesystem::path& directory,
                                                  std::string& note);

}  // namespace glidewheel::platform::linuxdesktop
