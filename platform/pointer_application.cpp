// SPDX-License-Identifier: MIT

#include "platform/pointer_application.h"

#include <algorithm>

namespace glidewheel::platform {

namespace {

char lowered(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool sameIgnoringCase(std::string_view a, std::string_view b) {
    return std::ranges::equal(a, b, [](char x, char y) { return lowered(x) == lowered(y); });
}

}  // namespace

bool PointerTarget::isNamed(std::string_view entry) const {
    return !entry.empty() &&
           (sameIgnoringCase(entry, executable) || sameIgnoringCase(entry, instanceName) ||
            sameIgnoringCase(entry, className));
}

std::string PointerTarget::entryName() const {
    if (!className.empty()) return className;
    return !instanceName.empty() ? instanceName : executable;
}

}  // namespace glidewheel::platform
