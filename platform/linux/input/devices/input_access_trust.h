// SPDX-License-Identifier: MIT

#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/system.h"

namespace glidewheel::platform::linuxdesktop {

// What the process may do with input devices, as found on the system.
struct InputAccessFacts {
    struct Node {
        std::string devnode;
        bool wheelMouse = false;
        bool readable = false;
    };
    bool uinputWritable = false;
    std::vector<Node> eventNodes;  // every /dev/input/event* node
};

// Trusted when posting is possible (uinput writable) and the mice can be read: every wheel
// mouse when there are any; otherwise at least one event node, so that a mouse plugged in
// later will most likely be readable too. With no event nodes at all, uinput alone decides.
bool hasInputAccess(const InputAccessFacts& facts);

// Looks at the system: /dev/uinput and each event node of the input subsystem, classified from
// its sysfs capabilities and udev properties. Opens no device. Access to each node is judged by
// the node of the same path under `root` ("" for the system itself; a test's stand-in
// otherwise).
InputAccessFacts probeInputAccess(const std::string& root = "");

// Input-device access as the program's trust. Asking never prompts; the prompt callback tells
// the user how to grant access (the shell shows a desktop notification).
class InputAccessTrust final : public Trust {
public:
    using Probe = std::function<InputAccessFacts()>;

    explicit InputAccessTrust(std::function<void()> prompt);
    // `probe` finds the facts, probeInputAccess() by default.
    InputAccessTrust(std::function<void()> prompt, Probe probe);

    bool isProcessTrusted() const override;
    void promptForTrust() override;

private:
    std::function<void()> prompt_;
    Probe probe_;
};

}  // namespace glidewheel::platform::linuxdesktop
