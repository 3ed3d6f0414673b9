#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "platform/linux/main_loop.h"

namespace glidewheel::platform::linuxdesktop {

// A main loop on poll(), for tests and tools that run the Linux services without a toolkit.
// Everything happens on the thread that calls runOnce(); watches are made and destroyed there
// too, also from inside a handler, and all of them before the loop itself.
class PollMainLoop final : public MainLoop {
public:
    PollMainLoop();
    ~PollMainLoop() override;
    PollMainLoop(const PollMainLoop&) = delete;
    PollMainLoop& operator=(const PollMainLoop&) = delete;

    std::unique_ptr<Watch> watchReadable(int fd, std::function<void()> onReadable) override;

    // Waits up to timeoutMs (negative: without limit, 0: not at all) for an enabled watch's
    // descriptor to become readable (or to report an error or hang-up), then calls the handler
    // of each ready one once. Returns how many handlers ran.
    int runOnce(int timeoutMs);

    // Runs the loop until done() holds or timeoutMs have passed; done() is checked first and
    // after each turn. Returns done().
    bool runUntil(const std::function<bool()>& done, int timeoutMs);

private:
    struct Entry;
    class PollWatch;

    std::vector<std::shared_ptr<Entry>> entries_;
};

}  // namespace glidewheel::platform::linuxdesktop
