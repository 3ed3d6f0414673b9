// SPDX-License-Identifier: MIT

#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace glidewheel::platform {

// A wheel mouse the program has seen, as the settings remember it and the input side acts on
// it: whether its wheel glides. Plain wheels glide unless switched off; a wheel that already
// scrolls finely is left alone unless switched on.
struct KnownWheelMouse {
    std::string name;
    std::uint16_t vendor = 0;
    std::uint16_t product = 0;
    std::string physicalPath;  // where it is plugged in (EVIOCGPHYS), "" where the kernel has none
    bool fineWheel = false;    // its wheel was seen moving in steps finer than half a detent
    std::optional<bool> smooth;  // the person's choice; none: as the wheel suggests

    bool smoothed() const { return smooth.value_or(!fineWheel); }
    // The same mouse plugged in again, where it was before, has the same id.
    std::string id() const;
    // "046d:c077"
    std::string vendorProduct() const;
};

}  // namespace glidewheel::platform
