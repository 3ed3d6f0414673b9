// SPDX-License-Identifier: MIT

#pragma once

#include <cstdint>
#include <memory>

namespace glidewheel::platform {

using CVReturn = std::int32_t;
inline constexpr CVReturn kCVReturnSuccess = 0;
inline constexpr CVReturn kCVReturnError = -6660;

struct DisplayTimeStamp {
    std::int64_t hostTimeNs = 0;  // monotonic clock
    std::uint64_t frame = 0;      // frames since the link was created
};

class DisplayLink;

using DisplayLinkOutputCallback = CVReturn (*)(DisplayLink* link, const DisplayTimeStamp* now,
                                               const DisplayTimeStamp* outputTime,
                                               std::uint64_t flagsIn, std::uint64_t* flagsOut,
                                               void* userContext);

// Calls its output callback once per display refresh, on a thread of its own, while running.
//
// Contract relied on by the glide engine:
// - start() and stop() may be called from any thread, also from inside the callback.
// - stop() called from any thread but the link's own returns only once no callback is running,
//   so nothing the callback uses may vanish after it; called from inside the callback it only
//   marks the link stopped (it cannot wait for itself).
// - Destroying a link stops it first (from outside its thread) and releases its thread.
class DisplayLink {
public:
    virtual ~DisplayLink() = default;
    virtual void setOutputCallback(DisplayLinkOutputCallback callback, void* userContext) = 0;
    virtual bool isRunning() const = 0;
    virtual void start() = 0;
    virtual void stop() = 0;
};

class DisplayLinkService {
public:
    virtual ~DisplayLinkService() = default;
    // A link usable with all active displays, or null when none can be made.
    virtual std::unique_ptr<DisplayLink> createWithActiveDisplays() = 0;
};

}  // namespace glidewheel::platform
