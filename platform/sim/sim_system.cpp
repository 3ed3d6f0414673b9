// SPDX-License-Identifier: MIT

#include "platform/sim/sim_system.h"

namespace glidewheel::platform::sim {

void SimUserDefaults::registerDefaults(const std::map<std::string, Value>& defaults) {
    for (const auto& [key, value] : defaults) registered_[key] = value;
}

std::optional<UserDefaults::Value> SimUserDefaults::valueForKey(const std::string& key) const {
    if (auto it = stored_.find(key); it != stored_.end()) return it->second;
    if (auto it = registered_.find(key); it != registered_.end()) return it->second;
    return std::nullopt;
}

void SimUserDefaults::setBool(const std::string& key, bool value) {
    stored_[key] = value;
    ++writes_;
}

void SimUserDefaults::setDouble(const std::string& key, double value) {
    stored_[key] = value;
    ++writes_;
}

std::vector<KnownWheelMouse> SimUserDefaults::wheelMiceForKey(const std::string& key) const {
    const auto it = storedMice_.find(key);
    return it != storedMice_.end() ? it->second : std::vector<KnownWheelMouse>{};
}

void SimUserDefaults::setWheelMice(const std::string& key,
                                   const std::vector<KnownWheelMouse>& mice) {
    storedMice_[key] = mice;
    ++writes_;
}

std::vector<std::string> SimUserDefaults::namesForKey(const std::string& key) const {
    const auto it = storedNames_.find(key);
    return it != storedNames_.end() ? it->second : std::vector<std::string>{};
}

void SimUserDefaults::setNames(const std::string& key, const std::vector<std::string>& names) {
    storedNames_[key] = names;
    ++writes_;
}

std::optional<std::string> SimLoginItems::registerMainApp() {
    calls.emplace_back("register");
    if (registerFailure) return registerFailure;
    currentStatus = LoginItemStatus::enabled;
    return std::nullopt;
}

std::optional<std::string> SimLoginItems::unregisterMainApp() {
    calls.emplace_back("unregister");
    if (unregisterFailure) return unregisterFailure;
    currentStatus = LoginItemStatus::notRegistered;
    return std::nullopt;
}

}  // namespace glidewheel::platform::sim
