#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/app_delegate.h"
#include "platform/sim/sim_platform.h"

namespace glidewheel::testing {

// What the delegate had built at the moment a platform call was made.
struct DelegateState {
    bool popover = false;
    bool statusItem = false;
    bool settingsWindow = false;
    std::size_t taps = 0;  // installed event taps
};

struct Call {
    std::string name;  // "loginItems.status", "defaults.set launchAtLogin", "trust.check", ...
    DelegateState state;
};

// The sim backend, with every call the shell's launch makes recorded in order together with
// the delegate's state at that moment: the launch order shows in what the platform saw.
class RecordingBackend {
public:
    RecordingBackend();

    platform::sim::SimPlatform sim;
    std::vector<Call> calls;
    const AppDelegate* observed = nullptr;

    // The first call of that name, if any.
    std::optional<std::size_t> indexOf(const std::string& name) const;
    void install();

private:
    void record(std::string name);

    class Defaults;
    class LoginItems;
    class TrustSwitch;

    platform::UserDefaults* defaults_;
    platform::LoginItems* loginItems_;
    platform::Trust* trust_;
};

// The process's backend, installed before the first test (the shared settings and interceptor
// bind to it once, for the whole process).
RecordingBackend& backend();

}  // namespace glidewheel::testing
