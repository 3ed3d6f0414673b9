// SPDX-License-Identifier: MIT

#pragma once

#include "platform/system.h"

namespace glidewheel::platform::linuxdesktop {

// The information dictionary of this build: "CFBundleShortVersionString" is the project
// version the program was built as (for example "1.0.0").
class BuildBundle final : public Bundle {
public:
    std::optional<InfoDictionary> infoDictionary() const override;
};

}  // namespace glidewheel::platform::linuxdesktop
