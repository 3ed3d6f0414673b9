#pragma once

#include <functional>
#include <memory>

#include "platform/linux/main_loop.h"

namespace glidewheel::platform::qt {

// The main loop as the Qt event loop: each watch is a read socket notifier, so handlers run on
// the thread that created the watch (the main thread). Needs a QCoreApplication (or subclass).
// A handler may destroy its own watch.
class QtMainLoop final : public linuxdesktop::MainLoop {
public:
    std::unique_ptr<Watch> watchReadable(int fd, std::function<void()> onReadable) override;
};

}  // namespace glidewheel::platform::qt
