// SPDX-License-Identifier: MIT

#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>

#include "platform/display_link.h"
#include "platform/event.h"
#include "platform/event_tap.h"

namespace glidewheel {

// Written into kCGEventSourceUserData of every event we synthesize: "GLIDEWL" read as a
// big-endian number. The interceptor lets events carrying it pass.
inline constexpr std::int64_t ownEventMarker = 0x474C494445574C;

// Whether a wheel event has room for the fields every post rewrites, and for `alsoWritten` (the
// line delta the interceptor negates when the scroll direction is reversed). The posts of one
// without could not carry ownEventMarker: they would come back through the tap as new wheel
// events.
bool canCarryGlide(const platform::Event& event,
                   std::optional<platform::EventField> alsoWritten = std::nullopt);

// The glide engine. Each accepted wheel event hands over a distance; at every display refresh
// the scroller moves a fixed fraction of the remaining distance, gathers the movement, and once
// at least one point has gathered posts all of it as a continuous scroll event copied from the
// last wheel event. A frame whose step is 0.1 point or less, or not a finite number, ends the
// glide.
//
// The backend hears how each glide goes (glideAimed after each hand-off, glideEnded when it ran
// out, was stopped or a turn replaced it, the last two cutting it short), so that it can settle
// what the stop rule leaves unposted; the arithmetic and the posts do not depend on it.
//
// Threads: addScroll and startDisplayLink run on the tap callback's thread (on Linux the input
// thread; never together with a stop from the main thread, which first waits for the tap to be
// disabled), advanceFrame on the display link's thread, stop on either. `lock` guards every
// field declared below it; it is never held while calling the display link, posting, or another
// operation of the scroller. `reporting` keeps what the backend hears in step with the glide: it
// is held from each change of the glide state through the post or report that tells of it, so a
// frame's post still under way when a turn, a stop or the glide's end comes reaches the backend
// before that glide's end report (not after, counted against the next glide), and the turned
// glide's first post waits until the glide it cut short is reported ended and the new one aimed.
// It is taken before `lock`, and never held while calling the display link.
class SmoothScroller {
public:
    SmoothScroller(platform::DisplayLinkService& displayLinks,
                   platform::EventTapService& eventTaps);
    // Stops the glide for good (waiting for a frame in progress) before anything the link's
    // frames use goes: the link holds this object by a bare pointer.
    ~SmoothScroller() { stop(); }
    SmoothScroller(const SmoothScroller&) = delete;
    SmoothScroller& operator=(const SmoothScroller&) = delete;

    // The hand-off: `delta` is the clamped wheel delta (only its sign is used), `distance` the
    // signed distance to glide and `factor` the fraction of the remaining distance to travel per
    // frame. A delta of the other sign than the last one restarts the glide; the same sign
    // extends it. Keeps a copy of `event` as the template for what it posts through `proxy`.
    void addScroll(double delta, double distance, double factor, const platform::Event& event,
                   platform::EventTapProxy proxy, bool horizontal);
    void startDisplayLink();
    // Ends any glide: stops the display link and clears the glide state.
    void stop();
    // One display refresh. Called only from displayLinkCallback.
    void advanceFrame();

    static platform::CVReturn displayLinkCallback(platform::DisplayLink* displayLink,
                                                  const platform::DisplayTimeStamp* now,
                                                  const platform::DisplayTimeStamp* outputTime,
                                                  std::uint64_t flagsIn, std::uint64_t* flagsOut,
                                                  void* userContext);

    // A consistent snapshot of the glide state, for tests and tools.
    struct GlideState {
        double currentPosition;
        double targetPosition;
        double lastDelta;
        double subPixelAccum;
        double cachedInterpolationFactor;
        bool isHorizontal;
        bool hasStoredEvent;
        platform::EventTapProxy storedProxy;
    };
    GlideState glideState() const;
    // Any thread.
    bool isDisplayLinkRunning() const;

private:
    // The end of a glide decided by the frame that saw `handOffsSeen` hand-offs. A hand-off that
    // slipped in after that frame let go of the lock keeps its glide and the link running.
    void endGlide(std::uint64_t handOffsSeen);
    void clearGlide();  // lock held
    // The glide as it stands, for the backend's glideAimed and glideEnded. Lock held.
    platform::GlideAccount glideAccount(bool cutShort = false) const;

    platform::DisplayLinkService& displayLinkService_;
    platform::EventTapService& eventTaps_;

    // Made once, by the first startDisplayLink, and set under `lock` for isDisplayLinkRunning and
    // stop, which read it from any thread; the link's own frames read it without.
    std::unique_ptr<platform::DisplayLink> displayLink;
    std::mutex reporting;
    mutable std::mutex lock;
    std::optional<platform::Event> storedEvent;
    platform::EventTapProxy storedProxy;
    double currentPosition = 0.0;  // points
    double targetPosition = 0.0;   // points
    double lastDelta = 0.0;        // points; only the sign is used
    bool isHorizontal = false;
    double subPixelAccum = 0.0;  // points travelled but not yet posted
    double cachedInterpolationFactor = 0.1336;
    std::uint64_t handOffs = 0;  // hand-offs ever made
};

}  // namespace glidewheel
