// SPDX-License-Identifier: MIT

#pragma once

#include <memory>

#include "engine/scroll_acceleration.h"
#include "engine/smooth_scroller.h"
#include "platform/event_tap.h"
#include "platform/services.h"
#include "settings/preferences.h"

namespace glidewheel {

// The glide a wheel delta asks for, in points: clamped to ±26, pushed 9 further from zero, then
// scaled by the speed setting.
inline constexpr double kClampLimit = 26.0;                 // points
inline constexpr double kAddedMagnitude = 9.0;              // points
inline constexpr double kFactorBase = 0.16666666666666669;  // 0.05 / 0.3 as a double
inline constexpr double kFactorScale = 0.3;

double clampedDelta(double delta);
double glideDistance(double clamped, double scrollSpeed);
// The fraction of the remaining distance travelled per frame: 0.3 at smoothness 0.0, 0.05 at
// 1.0. Smoothness outside 0…1 (a hand-edited settings file) is clamped to it.
double interpolationFactor(double smoothness);

// Owns the event tap that sees every scroll-wheel event. Discrete wheel events are swallowed
// and handed to the smooth scroller as glides; phased (trackpad) events, our own synthesized
// events, events without a delta and everything while smoothing is off pass untouched, as do
// notches for an application that keeps the raw wheel: the one under the pointer, when the
// settings list it. Such a notch first ends any glide under way, so the two never mix.
// start() and stop() run on the main thread. The callback runs where the tap's run-loop source
// puts it: on Linux the input thread, which must never wait for the GUI, so it reads the
// settings through Preferences' lock-free reads and reaches the glide only through the
// scroller's lock. Stopping waits until no callback runs, so the fields the callback reads are
// never changed under it.
class ScrollInterceptor {
public:
    // The one instance, created on first use from the installed platform services.
    static ScrollInterceptor& shared();

    ScrollInterceptor(const platform::Services& services, Preferences& preferences);
    ScrollInterceptor(const ScrollInterceptor&) = delete;
    ScrollInterceptor& operator=(const ScrollInterceptor&) = delete;

    // Installs and enables the tap, or prompts for trust when it is missing. No-op while running.
    void start();
    // Removes the tap and ends any glide. No-op while stopped.
    void stop();
    bool hasAccessibilityPermission() const;
    bool isRunning() const { return isRunning_; }

    SmoothScroller& smoothScroller() { return smoothScroller_; }

    // The tap callback: `userInfo` is the interceptor that installed the tap.
    static platform::Event* eventTapCallback(platform::EventTapProxy proxy,
                                             platform::EventType type, platform::Event* event,
                                             void* userInfo);
    // What the callback does, on this instance.
    platform::Event* handleTapEvent(platform::EventTapProxy proxy, platform::EventType type,
                                    platform::Event* event);

private:
    // Whether the application under the pointer is listed as keeping the raw wheel. Reads the
    // lookup's latest answer and never waits for it; with nothing listed it does not look.
    bool targetKeepsRawWheel() const;

    platform::EventTapService& eventTaps_;
    platform::Trust& trust_;
    Preferences& preferences_;
    const platform::PointerApplication* pointerApplication_;  // none: nothing keeps the raw wheel

    SmoothScroller smoothScroller_;
    ScrollAcceleration acceleration_;  // the callback's own, like the fields it reads
    std::unique_ptr<platform::EventTap> eventTap_;
    std::unique_ptr<platform::RunLoopSource> runLoopSource_;
    bool isRunning_ = false;
};

}  // namespace glidewheel
