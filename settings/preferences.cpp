// SPDX-License-Identifier: MIT

#include "settings/preferences.h"

#include <cstdio>

#include "platform/services.h"

namespace glidewheel {

namespace {

constexpr const char* kIsEnabled = "isEnabled";
constexpr const char* kScrollSpeed = "scrollSpeed";
constexpr const char* kSmoothness = "smoothness";
constexpr const char* kReverseScroll = "reverseScroll";
constexpr const char* kLaunchAtLogin = "launchAtLogin";

// Registration is volatile: it is redone at every start and never written out.
platform::UserDefaults& withRegisteredDefaults(platform::UserDefaults& defaults) {
    defaults.registerDefaults({
        {kIsEnabled, true},
        {kScrollSpeed, 1.0},
        {kSmoothness, 0.5},
        {kReverseScroll, false},
        {kLaunchAtLogin, false},
    });
    return defaults;
}

void store(platform::UserDefaults& defaults, const char* key, bool value) {
    defaults.setBool(key, value);
}

void store(platform::UserDefaults& defaults, const char* key, double value) {
    defaults.setDouble(key, value);
}

}  // namespace

Preferences& Preferences::shared() {
    // A function-local static is initialised exactly once, also when threads race to it.
    static Preferences instance(*platform::services().userDefaults,
                                *platform::services().loginItems);
    return instance;
}

Preferences::Preferences(platform::UserDefaults& defaults, platform::LoginItems& loginItems)
    : defaults_(withRegisteredDefaults(defaults)),
      loginItems_(loginItems),
      isEnabled_(defaults_.boolForKey(kIsEnabled)),
      scrollSpeed_(defaults_.doubleForKey(kScrollSpeed)),
      smoothness_(defaults_.doubleForKey(kSmoothness)),
      reverseScroll_(defaults_.boolForKey(kReverseScroll)),
      launchAtLogin_(defaults_.boolForKey(kLaunchAtLogin)) {}

template <class T>
void Preferences::change(Published<T>& property, const char* key, T value) {
    objectWillChange_.send();
    property.assign(value);
    store(defaults_, key, property.value());
}

void Preferences::setIsEnabled(bool value) { change(isEnabled_, kIsEnabled, value); }
void Preferences::setScrollSpeed(double value) { change(scrollSpeed_, kScrollSpeed, value); }
void Preferences::setSmoothness(double value) { change(smoothness_, kSmoothness, value); }
void Preferences::setReverseScroll(bool value) { change(reverseScroll_, kReverseScroll, value); }

void Preferences::setLaunchAtLogin(bool value) {
    change(launchAtLogin_, kLaunchAtLogin, value);
    updateLoginItem();
}

void Preferences::updateLoginItem() {
    const auto failure =
        launchAtLogin() ? loginItems_.registerMainApp() : loginItems_.unregisterMainApp();
    if (failure) {
        std::printf("[Glidewheel] Failed to update login item: %s\n", failure->c_str());
        std::fflush(stdout);
    }
}

}  // namespace glidewheel
