#pragma once

#include <functional>
#include <memory>

namespace glidewheel::platform::linuxdesktop {

// The main thread's event loop, as the Linux services need it: watching file descriptors.
// The program runs it with Qt; the device tests with a plain poll() loop.
class MainLoop {
public:
    // Calls its handler on the main thread whenever the descriptor is readable, while the watch
    // lives and is enabled. Destroying the watch stops the calls; it never closes the descriptor.
    class Watch {
    public:
        virtual ~Watch() = default;
        virtual void setEnabled(bool enabled) = 0;
    };

    virtual ~MainLoop() = default;
    virtual std::unique_ptr<Watch> watchReadable(int fd, std::function<void()> onReadable) = 0;
};

}  // namespace glidewheel::platform::linuxdesktop
