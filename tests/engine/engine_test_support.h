#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "platform/display_link.h"
#include "platform/event.h"
#include "platform/event_tap.h"
#include "platform/sim/sim_event_stream.h"

namespace glidewheel::testing {

// A proxy the stream accepts posts through: that of a tap installed on it, learnt the way the
// engine learns it, from a delivery.
class LiveProxy {
public:
    explicit LiveProxy(platform::sim::SimEventStream& stream);
    platform::EventTapProxy proxy() const { return proxy_; }

private:
    std::unique_ptr<platform::EventTap> tap_;
    std::unique_ptr<platform::RunLoopSource> source_;
    platform::EventTapProxy proxy_;
};

// A hand-ticked display link that lets a test act at the moment the link is told to stop,
// before it stops: in the frame that ends a glide, that is between the frame's decision and
// the glide being cleared.
class HookedDisplayLink final : public platform::DisplayLink {
public:
    void setOutputCallback(platform::DisplayLinkOutputCallback callback,
                           void* userContext) override;
    bool isRunning() const override { return running_; }
    void start() override { running_ = true; }
    void stop() override;

    bool tick();

    std::function<void()> onStop;  // called on every stop(), before the link stops

private:
    platform::DisplayLinkOutputCallback callback_ = nullptr;
    void* userContext_ = nullptr;
    bool running_ = false;
    std::uint64_t frames_ = 0;
};

class HookedDisplayLinkService final : public platform::DisplayLinkService {
public:
    std::unique_ptr<platform::DisplayLink> createWithActiveDisplays() override;
    HookedDisplayLink* link = nullptr;  // the last one made; owned by whoever asked for it
};

// A vertical wheel notch as the backend reports one: a line delta and a point delta.
platform::Event wheelEvent(double pointDelta, std::int64_t lines = 1);

// The amounts of the posted events, read from the axis they were posted on.
std::vector<double> postedAmounts(const platform::sim::SimEventStream& stream,
                                  bool horizontal = false);

}  // namespace glidewheel::testing
