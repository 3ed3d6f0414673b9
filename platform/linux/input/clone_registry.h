#pragma once

#include <cstdint>
#include <map>
#include <mutex>

#include "platform/event.h"
#include "platform/event_tap.h"

namespace glidewheel::platform::linuxdesktop {

class CloneSink;

// Which clone a tap proxy names, for posting. Clones are added and removed on the input thread;
// posts come from any thread (the display link's, mostly). A post writes while holding the
// registry's lock, so a clone is never destroyed under a post: remove it before destroying it.
class CloneRegistry {
public:
    void add(EventTapProxy proxy, CloneSink& clone);
    void remove(EventTapProxy proxy);

    // Writes the posted scroll to the proxy's clone; dropped when the proxy names none (its
    // mouse or tap is gone).
    void post(EventTapProxy proxy, const Event& event);

private:
    std::mutex mutex_;
    std::map<std::uint64_t, CloneSink*> clones_;
};

}  // namespace glidewheel::platform::linuxdesktop
