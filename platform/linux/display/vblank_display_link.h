// SPDX-License-Identifier: MIT

#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "platform/display_link.h"
#include "platform/display_link_thread.h"
#include "platform/linux/display/timer_display_link.h"
#include "platform/linux/display/vblank_source.h"

namespace glidewheel::platform::linuxdesktop {

// A display link whose frames are the display's vertical blanks: its thread keeps one vblank
// event requested (re-requested as each arrives) and posts a frame per event, stamped with the
// kernel's vblank time. While the display gives no vblanks (switched off, or none for several
// refreshes) the thread paces itself by a timer, and goes back to the vblanks as soon as a
// request succeeds again. It reads the CRTC's refresh rate afresh at every start and every
// return from the timer, so it follows mode changes. Parks without wakeups while stopped.
class VblankDisplayLink final : public ThreadDrivenDisplayLink {
public:
    // `timerRateHz`: the rate of the timer while no CRTC tells its own. Publishes each frame to
    // `refreshes` unless null; it must outlive the link.
    // Throws std::system_error when the thread cannot be started.
    VblankDisplayLink(std::unique_ptr<VblankSource> source, double timerRateHz,
                      DisplayRefreshes* refreshes = nullptr);
    ~VblankDisplayLink() override { thread_.shutDown(); }

    VblankDisplayLink(const VblankDisplayLink&) = delete;
    VblankDisplayLink& operator=(const VblankDisplayLink&) = delete;

    // Whether frames come from the timer now rather than from vblanks. Any thread.
    bool onTimer() const { return onTimer_; }

private:
    void run();
    bool nextFrame();
    bool readVblanks();
    bool post(std::int64_t frameNs);
    void requestVblank();
    void switchToTimer(std::int64_t firstDeadlineNs);
    void followCrtc();
    std::int64_t vblankTimeoutNs() const;

    const std::unique_ptr<VblankSource> source_;
    const double timerRateHz_;
    DisplayRefreshes* const refreshes_;
    // The link's thread alone touches these.
    std::int64_t periodNs_ = 0;
    bool pending_ = false;  // a vblank event is requested and has not arrived yet
    std::int64_t timerDeadlineNs_ = 0;
    std::optional<std::uint32_t> lastSequence_;
    std::atomic<bool> onTimer_{false};
};

// Makes vblank links where a DRM card gives vblank events, timer links otherwise, decided each
// time a link is made; says which on standard error.
class VblankDisplayLinkService final : public DisplayLinkService {
public:
    // A new link's vblank source: null, with the reason in `note`, when there is none;
    // otherwise `note` names what it follows.
    using OpenSource = std::function<std::unique_ptr<VblankSource>(std::string& note)>;

    // Opens the first link's source now: opening a card and reading its CRTCs takes
    // milliseconds (tens under emulation), and links are made from the tap's callback on the
    // input thread, which must not stall a mouse for them. Its links publish their frames to
    // `refreshes` unless null; it must outlive them.
    explicit VblankDisplayLinkService(std::function<double()> primaryRefreshRateHz,
                                      OpenSource openSource = openCardsInDevDri,
                                      DisplayRefreshes* refreshes = nullptr);

    // Null when the link's thread cannot be started. Not from two threads at once.
    std::unique_ptr<DisplayLink> createWithActiveDisplays() override;

    static std::unique_ptr<VblankSource> openCardsInDevDri(std::string& note);

private:
    std::function<double()> primaryRefreshRateHz_;
    OpenSource openSource_;
    DisplayRefreshes* const refreshes_;
    // The source opened ahead for the first link, and what it follows or why there is none.
    std::optional<std::pair<std::unique_ptr<VblankSource>, std::string>> firstSource_;
};

}  // namespace glidewheel::platform::linuxdesktop
