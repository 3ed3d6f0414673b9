// SPDX-License-Identifier: MIT

#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <string_view>

namespace glidewheel::platform {

// The application whose window is under the pointer, which is the one a wheel notch goes to, by
// the names a person may list it under. Any of them may be empty where the window does not say.
struct PointerTarget {
    std::string executable;    // the file name of its program, "firefox-esr"
    std::string instanceName;  // the window's resource name, "Navigator"
    std::string className;     // the window's class, "firefox-esr"

    // Whether `entry` names it: any of the three names, ignoring ASCII case.
    bool isNamed(std::string_view entry) const;
    // The name to list it under: the window's class, then its resource name, then the
    // executable. Scripts and emulated programs share their interpreter's executable, while their
    // windows name the application itself.
    std::string entryName() const;
};

// Tells which application is under the pointer, from a lookup the backend keeps current on a
// thread of its own. The answer is read from any thread without waiting for that lookup: the
// input thread reads it for every notch while applications are listed.
class PointerApplication {
public:
    virtual ~PointerApplication() = default;
    // Whether this desktop lets the program see the window under the pointer at all.
    virtual bool isAvailable() const = 0;
    // Whether it sees X11 windows only (a Wayland desktop's XWayland), the others never named.
    virtual bool seesOnlyX11Windows() const { return false; }
    // Whether the answer is needed (applications are listed, or one is about to be added). A
    // lookup may rest while it is not, its answer then null. Main thread.
    virtual void setNeeded(bool) {}
    // The latest answer; null while no application's window is known to be under the pointer.
    std::shared_ptr<const PointerTarget> current() const {
        return current_.load(std::memory_order_acquire);
    }

protected:
    void publish(std::shared_ptr<const PointerTarget> target) {
        current_.store(std::move(target), std::memory_order_release);
    }

private:
    std::atomic<std::shared_ptr<const PointerTarget>> current_;
};

// Where the desktop offers no way to see the window under the pointer.
class NoPointerApplication final : public PointerApplication {
public:
    bool isAvailable() const override { return false; }
};

}  // namespace glidewheel::platform
