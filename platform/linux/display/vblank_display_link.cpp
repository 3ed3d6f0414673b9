// SPDX-License-Identifier: MIT

#include "platform/linux/display/vblank_display_link.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <system_error>
#include <tuple>
#include <utility>

#include "platform/linux/display/drm_vblank_source.h"

namespace glidewheel::platform::linuxdesktop {
namespace {

constexpr std::int64_t kNanosecondsPerSecond = 1'000'000'000;
// Vblanks missing this many refreshes in a row mean the display has gone quiet.
constexpr std::int64_t kQuietRefreshes = 4;
// ...but never less than this, so an emulated or busy machine's stall does not count (100 ms).
constexpr std::int64_t kMinimumQuietNs = 100'000'000;

// Waits until `fd` is readable or `timeoutNs` has passed; true when it is readable.
bool waitReadable(int fd, std::int64_t timeoutNs) {
    const std::int64_t deadline = monotonicNowNs() + std::max<std::int64_t>(timeoutNs, 0);
    for (;;) {
        const std::int64_t left = std::max<std::int64_t>(deadline - monotonicNowNs(), 0);
        const timespec timeout{static_cast<time_t>(left / kNanosecondsPerSecond),
                               static_cast<long>(left % kNanosecondsPerSecond)};
        pollfd entry{fd, POLLIN, 0};
        const int ready = ppoll(&entry, 1, &timeout, nullptr);
        if (ready >= 0) return ready > 0;
        if (errno != EINTR) return false;
    }
}

}  // namespace

VblankDisplayLink::VblankDisplayLink(std::unique_ptr<VblankSource> source, double timerRateHz,
                                     DisplayRefreshes* refreshes)
    : source_(std::move(source)),
      timerRateHz_(clampedRefreshRateHz(timerRateHz)),
      refreshes_(refreshes) {
    launchWithSignalsBlocked(thread_, [this] { run(); });
}

void VblankDisplayLink::run() {
    while (thread_.waitUntilRunning()) {
        followCrtc();
        timerDeadlineNs_ = monotonicNowNs() + periodNs_;
        while (nextFrame()) {
        }
        // An event requested before the stop still comes: taken now, so that the next start
        // waits for a fresh vblank. The one wakeup after a stop; then the thread parks.
        if (pending_ && waitReadable(source_->fd(), vblankTimeoutNs())) {
            source_->readEvents([](std::uint32_t, std::int64_t) {});
        }
        pending_ = false;
    }
}

// Waits for one frame and posts it. False once the link is stopped.
bool VblankDisplayLink::nextFrame() {
    requestVblank();
    const std::int64_t timeoutNs =
        onTimer_ ? timerDeadlineNs_ - monotonicNowNs() : vblankTimeoutNs();
    if (waitReadable(source_->fd(), timeoutNs)) return readVblanks();
    if (!onTimer_) switchToTimer(monotonicNowNs());  // the vblanks have stopped coming
    const bool running = post(timerDeadlineNs_);
    timerDeadlineNs_ = nextDeadlineNs(timerDeadlineNs_, monotonicNowNs(), periodNs_);
    return running;
}

bool VblankDisplayLink::readVblanks() {
    bool running = true;
    source_->readEvents([&](std::uint32_t sequence, std::int64_t timeNs) {
        pending_ = false;
        if (!thread_.isRunning()) {
            running = false;
            return;
        }
        if (onTimer_) {  // back from the timer, perhaps in another mode
            onTimer_ = false;
            followCrtc();
        }
        // Requested before the frame runs, so a slow frame cannot miss the next vblank.
        requestVblank();
        // A CRTC being switched off sends the pending event with the sequence number of the
        // last vblank: no new refresh.
        if (sequence == lastSequence_) return;
        lastSequence_ = sequence;
        running = post(timeNs);
    });
    return running;
}

// One frame, published before it runs so that what it posts can tell its refresh.
bool VblankDisplayLink::post(std::int64_t frameNs) {
    if (refreshes_ != nullptr) refreshes_->publish(frameNs, periodNs_);
    return thread_.post(onTimer_ ? monotonicNowNs() : frameNs, frameNs + periodNs_);
}

void VblankDisplayLink::requestVblank() {
    if (pending_) return;
    if (onTimer_) followCrtc();  // the display may come back in another mode
    const int error = source_->requestNextVblank();
    if (error == 0) {
        pending_ = true;
        onTimer_ = false;
    } else if (!onTimer_) {
        switchToTimer(monotonicNowNs() + periodNs_);
    }
}

void VblankDisplayLink::switchToTimer(std::int64_t firstDeadlineNs) {
    onTimer_ = true;
    timerDeadlineNs_ = firstDeadlineNs;
}

void VblankDisplayLink::followCrtc() {
    // A mode's rate is clamped as a timer's is: a broken mode's absurd rate would otherwise set
    // the timer that stands in for the vblanks spinning.
    const double rate = source_->followCrtc();
    periodNs_ = std::llround(kNanosecondsPerSecond /
                             (rate > 0.0 ? clampedRefreshRateHz(rate) : timerRateHz_));
}

std::int64_t VblankDisplayLink::vblankTimeoutNs() const {
    return std::max(kQuietRefreshes * periodNs_, kMinimumQuietNs);
}

VblankDisplayLinkService::VblankDisplayLinkService(std::function<double()> primaryRefreshRateHz,
                                                   OpenSource openSource,
                                                   DisplayRefreshes* refreshes)
    : primaryRefreshRateHz_(std::move(primaryRefreshRateHz)),
      openSource_(std::move(openSource)),
      refreshes_(refreshes) {
    std::string note;
    auto source = openSource_(note);
    firstSource_.emplace(std::move(source), std::move(note));
}

std::unique_ptr<VblankSource> VblankDisplayLinkService::openCardsInDevDri(std::string& note) {
    return openDrmVblankSource("/dev/dri", note);
}

std::unique_ptr<DisplayLink> VblankDisplayLinkService::createWithActiveDisplays() {
    const double rate = clampedRefreshRateHz(primaryRefreshRateHz_ ? primaryRefreshRateHz_() : 0.0);
    std::string note;
    std::unique_ptr<VblankSource> source;
    if (firstSource_) {
        std::tie(source, note) = std::move(*firstSource_);
        firstSource_.reset();
    } else {
        source = openSource_(note);
    }
    try {
        if (source) {
            auto link = std::make_unique<VblankDisplayLink>(std::move(source), rate, refreshes_);
            std::fprintf(stderr, "glidewheel: display link: vblank events of %s\n", note.c_str());
            return link;
        }
        auto link = std::make_unique<TimerDisplayLink>(rate, refreshes_);
        std::fprintf(stderr, "glidewheel: display link: a %.2f Hz timer (%s)\n", rate,
                     note.c_str());
        return link;
    } catch (const std::system_error&) {
        return nullptr;
    }
}

}  // namespace glidewheel::platform::linuxdesktop
