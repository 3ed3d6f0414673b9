#include "tests/app/recording_backend.h"

#include <algorithm>

namespace glidewheel::testing {

class RecordingBackend::Defaults final : public platform::UserDefaults {
public:
    explicit Defaults(RecordingBackend& owner) : owner_(owner) {}
    void registerDefaults(const std::map<std::string, Value>& defaults) override {
        owner_.sim.userDefaults.registerDefaults(defaults);
    }
    bool boolForKey(const std::string& key) const override {
        owner_.record("defaults.get " + key);
        return owner_.sim.userDefaults.boolForKey(key);
    }
    double doubleForKey(const std::string& key) const override {
        return owner_.sim.userDefaults.doubleForKey(key);
    }
    void setBool(const std::string& key, bool value) override {
        owner_.record("defaults.set " + key);
        owner_.sim.userDefaults.setBool(key, value);
    }
    void setDouble(const std::string& key, double value) override {
        owner_.sim.userDefaults.setDouble(key, value);
    }

private:
    RecordingBackend& owner_;
};

class RecordingBackend::LoginItems final : public platform::LoginItems {
public:
    explicit LoginItems(RecordingBackend& owner) : owner_(owner) {}
    platform::LoginItemStatus status() const override {
        owner_.record("loginItems.status");
        return owner_.sim.loginItems.status();
    }
    std::optional<std::string> registerMainApp() override {
        owner_.record("loginItems.register");
        return owner_.sim.loginItems.registerMainApp();
    }
    std::optional<std::string> unregisterMainApp() override {
        owner_.record("loginItems.unregister");
        return owner_.sim.loginItems.unregisterMainApp();
    }

private:
    RecordingBackend& owner_;
};

class RecordingBackend::TrustSwitch final : public platform::Trust {
public:
    explicit TrustSwitch(RecordingBackend& owner) : owner_(owner) {}
    bool isProcessTrusted() const override {
        owner_.record("trust.check");
        return owner_.sim.trust.isProcessTrusted();
    }
    void promptForTrust() override {
        owner_.record("trust.prompt");
        owner_.sim.trust.promptForTrust();
    }

private:
    RecordingBackend& owner_;
};

RecordingBackend::RecordingBackend()
    : defaults_(new Defaults(*this)),
      loginItems_(new LoginItems(*this)),
      trust_(new TrustSwitch(*this)) {}

void RecordingBackend::install() {
    platform::Services services = sim.services();
    services.userDefaults = defaults_;
    services.loginItems = loginItems_;
    services.trust = trust_;
    platform::install(services);
}

void RecordingBackend::record(std::string name) {
    DelegateState state;
    if (observed != nullptr) {
        state.popover = observed->popover() != nullptr;
        state.statusItem = observed->statusItem() != nullptr;
        state.settingsWindow = observed->settingsWindow() != nullptr;
    }
    state.taps = sim.events.taps().size();
    calls.push_back({std::move(name), state});
}

std::optional<std::size_t> RecordingBackend::indexOf(const std::string& name) const {
    const auto found = std::find_if(calls.begin(), calls.end(),
                                    [&](const Call& call) { return call.name == name; });
    if (found == calls.end()) return std::nullopt;
    return static_cast<std::size_t>(found - calls.begin());
}

RecordingBackend& backend() {
    // Never destroyed: the shared settings and interceptor refer to it until the process ends.
    static RecordingBackend* instance = new RecordingBackend;
    return *instance;
}

}  // namespace glidewheel::testing
