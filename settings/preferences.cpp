// SPDX-License-Identifier: MIT

#include "settings/preferences.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

#include "platform/pointer_application.h"
#include "platform/services.h"

namespace glidewheel {

namespace {

constexpr const char* kIsEnabled = "isEnabled";
constexpr const char* kScrollSpeed = "scrollSpeed";
constexpr const char* kSmoothness = "smoothness";
constexpr const char* kReverseScroll = "reverseScroll";
constexpr const char* kLaunchAtLogin = "launchAtLogin";
constexpr const char* kAcceleration = "acceleration";
constexpr const char* kWheelMice = "mice";
constexpr const char* kRawWheelApplications = "rawWheelApplications";

// Registration is volatile: it is redone at every start and never written out.
platform::UserDefaults& withRegisteredDefaults(platform::UserDefaults& defaults) {
    defaults.registerDefaults({
        {kIsEnabled, true},
        {kScrollSpeed, 1.0},
        {kSmoothness, 0.5},
        {kReverseScroll, false},
        {kLaunchAtLogin, false},
        {kAcceleration, 0.0},
    });
    return defaults;
}

void store(platform::UserDefaults& defaults, const char* key, bool value) {
    defaults.setBool(key, value);
}

void store(platform::UserDefaults& defaults, const char* key, double value) {
    defaults.setDouble(key, value);
}

// The stored acceleration within 0…1, the slider's range: a hand-edited value outside it is
// clamped and one that is no number is dropped for 0, each with a line naming it.
double loadedAcceleration(const platform::UserDefaults& defaults) {
    const double stored = defaults.doubleForKey(kAcceleration);
    const double loaded = std::isnan(stored) ? 0.0 : std::clamp(stored, 0.0, 1.0);
    if (loaded != stored) {
        std::fprintf(stderr, "glidewheel: %s = %g is outside 0 to 1; using %g\n", kAcceleration,
                     stored, loaded);
    }
    return loaded;
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
      launchAtLogin_(defaults_.boolForKey(kLaunchAtLogin)),
      acceleration_(loadedAcceleration(defaults_)),
      wheelMice_(defaults_.wheelMiceForKey(kWheelMice)),
      rawWheelApplications_(
          std::make_shared<const ApplicationNames>(defaults_.namesForKey(kRawWheelApplications))) {}

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
void Preferences::setAcceleration(double value) { change(acceleration_, kAcceleration, value); }

void Preferences::setLaunchAtLogin(bool value) {
    change(launchAtLogin_, kLaunchAtLogin, value);
    updateLoginItem();
}

void Preferences::noteWheelMice(const std::vector<platform::KnownWheelMouse>& present) {
    bool changed = false;
    for (const platform::KnownWheelMouse& mouse : present) {
        const auto known = std::find_if(wheelMice_.begin(), wheelMice_.end(),
                                        [&mouse](const auto& k) { return k.id() == mouse.id(); });
        if (known == wheelMice_.end()) {
            if (wheelMice_.size() >= platform::kMaxStoredListEntries) {
                const auto absent = std::ranges::find_if(wheelMice_, [&present](const auto& k) {
                    return std::ranges::none_of(present,
                                                [&k](const auto& p) { return p.id() == k.id(); });
                });
                if (absent == wheelMice_.end()) continue;
                wheelMice_.erase(absent);
            }
            wheelMice_.push_back(mouse);
            changed = true;
        } else if (mouse.fineWheel && !known->fineWheel) {
            known->fineWheel = true;
            changed = true;
        }
    }
    if (changed) storeWheelMice();
}

void Preferences::setMouseSmoothed(const std::string& id, bool smooth) {
    for (platform::KnownWheelMouse& mouse : wheelMice_) {
        if (mouse.id() == id) mouse.smooth = smooth;
    }
    storeWheelMice();
}

void Preferences::storeWheelMice() {
    defaults_.setWheelMice(kWheelMice, wheelMice_);
    wheelMiceChanged_.send();
}

bool Preferences::addRawWheelApplication(const std::string& name) {
    const platform::PointerTarget named{name, {}, {}};
    const std::shared_ptr<const ApplicationNames> listed = rawWheelApplications();
    if (name.empty() || std::ranges::any_of(*listed, [&named](const std::string& entry) {
            return named.isNamed(entry);
        })) {
        return true;
    }
    if (listed->size() >= platform::kMaxStoredListEntries) return false;
    ApplicationNames names = *listed;
    names.push_back(name);
    storeRawWheelApplications(std::move(names));
    return true;
}

void Preferences::removeRawWheelApplication(const std::string& name) {
    ApplicationNames names = *rawWheelApplications();
    if (std::erase(names, name) > 0) storeRawWheelApplications(std::move(names));
}

void Preferences::storeRawWheelApplications(ApplicationNames names) {
    defaults_.setNames(kRawWheelApplications, names);
    rawWheelApplications_.store(std::make_shared<const ApplicationNames>(std::move(names)),
                                std::memory_order_release);
    rawWheelApplicationsChanged_.send();
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
