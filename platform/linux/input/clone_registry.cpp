#include "platform/linux/input/clone_registry.h"

#include "platform/linux/input/clone_sink.h"

namespace glidewheel::platform::linuxdesktop {

void CloneRegistry::add(EventTapProxy proxy, CloneSink& clone) {
    std::scoped_lock guard(mutex_);
    clones_[proxy.id] = &clone;
}

void CloneRegistry::remove(EventTapProxy proxy) {
    std::scoped_lock guard(mutex_);
    clones_.erase(proxy.id);
}

void CloneRegistry::post(EventTapProxy proxy, const Event& event) {
    std::scoped_lock guard(mutex_);
    const auto it = clones_.find(proxy.id);
    if (it != clones_.end()) it->second->post(event);
}

}  // namespace glidewheel::platform::linuxdesktop
