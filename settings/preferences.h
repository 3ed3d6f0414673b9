// SPDX-License-Identifier: MIT

#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "platform/system.h"
#include "settings/observable.h"

namespace glidewheel {

// The program's settings: loaded from the user defaults when created, each stored the moment it
// is assigned, every change published. Values are not range-checked here; the sliders and the
// interceptor decide what ranges mean; only acceleration, which has no such history, is brought
// into 0…1 as it loads, with a line on standard error. Main thread only, except that the values may
// be read from any thread (the tap callback reads six of them on the input thread).
//
// An assignment, also of the value already held:
//   1. objectWillChange fires and the property's stream delivers the new value (not stored yet);
//   2. the value is stored;
//   3. it is written to the user defaults under the property's name;
//   4. for launchAtLogin, the login item is registered or unregistered to match.
class Preferences {
public:
    // The one instance of the program, created and loaded on first use from the installed
    // platform services.
    static Preferences& shared();

    Preferences(platform::UserDefaults& defaults, platform::LoginItems& loginItems);
    Preferences(const Preferences&) = delete;
    Preferences& operator=(const Preferences&) = delete;

    bool isEnabled() const { return isEnabled_.value(); }
    double scrollSpeed() const { return scrollSpeed_.value(); }
    double smoothness() const { return smoothness_.value(); }
    bool reverseScroll() const { return reverseScroll_.value(); }
    bool launchAtLogin() const { return launchAtLogin_.value(); }
    double acceleration() const { return acceleration_.value(); }

    void setIsEnabled(bool value);
    void setScrollSpeed(double value);
    void setSmoothness(double value);
    void setReverseScroll(bool value);
    void setLaunchAtLogin(bool value);
    void setAcceleration(double value);

    ChangeSignal& objectWillChange() { return objectWillChange_; }
    Published<bool>& isEnabledStream() { return isEnabled_; }
    Published<double>& scrollSpeedStream() { return scrollSpeed_; }
    Published<double>& smoothnessStream() { return smoothness_; }
    Published<bool>& reverseScrollStream() { return reverseScroll_; }
    Published<bool>& launchAtLoginStream() { return launchAtLogin_; }
    Published<double>& accelerationStream() { return acceleration_; }

    // The wheel mice seen so far, present or not, in the order first seen, each with its switch.
    // Main thread only: the input side hears of them through the app, as a copy.
    const std::vector<platform::KnownWheelMouse>& wheelMice() const { return wheelMice_; }
    // Remembers the mice the input side reports present: new ones join the list, and a wheel
    // seen to scroll finely is remembered as such. Stored only when something changed. A full
    // list forgets its oldest mouse that is not present to make room.
    void noteWheelMice(const std::vector<platform::KnownWheelMouse>& present);
    void setMouseSmoothed(const std::string& id, bool smooth);
    // Fires after the list changed.
    ChangeSignal& wheelMiceChanged() { return wheelMiceChanged_; }

    // The applications that keep the raw wheel, by the names the person gave them, in the order
    // added. Read from any thread without waiting (the input thread reads it for every notch);
    // changed on the main thread only.
    using ApplicationNames = std::vector<std::string>;
    std::shared_ptr<const ApplicationNames> rawWheelApplications() const {
        return rawWheelApplications_.load(std::memory_order_acquire);
    }
    // Adds a name not yet listed (ignoring case); an empty name is ignored. False when the list
    // is full and the name not on it.
    bool addRawWheelApplication(const std::string& name);
    void removeRawWheelApplication(const std::string& name);
    // Fires after the list changed.
    ChangeSignal& rawWheelApplicationsChanged() { return rawWheelApplicationsChanged_; }

private:
    template <class T>
    void change(Published<T>& property, const char* key, T value);
    void updateLoginItem();
    void storeWheelMice();
    void storeRawWheelApplications(ApplicationNames names);

    platform::UserDefaults& defaults_;
    platform::LoginItems& loginItems_;
    ChangeSignal objectWillChange_;
    Published<bool> isEnabled_;
    Published<double> scrollSpeed_;
    Published<double> smoothness_;
    Published<bool> reverseScroll_;
    Published<bool> launchAtLogin_;
    Published<double> acceleration_;
    std::vector<platform::KnownWheelMouse> wheelMice_;
    ChangeSignal wheelMiceChanged_;
    std::atomic<std::shared_ptr<const ApplicationNames>> rawWheelApplications_;
    ChangeSignal rawWheelApplicationsChanged_;
};

}  // namespace glidewheel
