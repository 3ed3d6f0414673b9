// SPDX-License-Identifier: MIT

#include "platform/linux/desktop/build_bundle.h"

namespace glidewheel::platform::linuxdesktop {

std::optional<Bundle::InfoDictionary> BuildBundle::infoDictionary() const {
    return InfoDictionary{{"CFBundleShortVersionString", std::string(GLIDEWHEEL_VERSION)}};
}

}  // namespace glidewheel::platform::linuxdesktop
