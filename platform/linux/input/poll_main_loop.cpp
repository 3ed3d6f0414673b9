#include "platform/linux/input/poll_main_loop.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

namespace glidewheel::platform::linuxdesktop {

struct PollMainLoop::Entry {
    int fd;
    std::function<void()> onReadable;
    bool enabled = true;
    bool alive = true;
};

class PollMainLoop::PollWatch final : public MainLoop::Watch {
public:
    PollWatch(PollMainLoop& loop, std::shared_ptr<Entry> entry)
        : loop_(loop), entry_(std::move(entry)) {}

    ~PollWatch() override {
        entry_->alive = false;
        std::erase(loop_.entries_, entry_);
    }

    void setEnabled(bool enabled) override { entry_->enabled = enabled; }

private:
    PollMainLoop& loop_;
    std::shared_ptr<Entry> entry_;
};

PollMainLoop::PollMainLoop() = default;
PollMainLoop::~PollMainLoop() = default;

std::unique_ptr<MainLoop::Watch> PollMainLoop::watchReadable(int fd,
                                                             std::function<void()> onReadable) {
    auto entry = std::make_shared<Entry>(Entry{fd, std::move(onReadable)});
    entries_.push_back(entry);
    return std::make_unique<PollWatch>(*this, std::move(entry));
}

int PollMainLoop::runOnce(int timeoutMs) {
    // A snapshot: handlers may add or destroy watches, their own included.
    std::vector<std::shared_ptr<Entry>> polled;
    std::vector<pollfd> fds;
    for (const auto& entry : entries_) {
        if (!entry->enabled) continue;
        polled.push_back(entry);
        fds.push_back(pollfd{entry->fd, POLLIN, 0});
    }
    int ready;
    do {
        ready = ::poll(fds.data(), fds.size(), timeoutMs);
    } while (ready < 0 && errno == EINTR);
    if (ready <= 0) return 0;

    int ran = 0;
    for (std::size_t i = 0; i < fds.size(); ++i) {
        // POLLNVAL is left out: a closed descriptor would otherwise spin the loop.
        if ((fds[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
        const std::shared_ptr<Entry>& entry = polled[i];
        if (!entry->alive || !entry->enabled) continue;
        // The handler may destroy its own watch: keep the callable alive for the call.
        const std::function<void()> handler = entry->onReadable;
        handler();
        ++ran;
    }
    return ran;
}

bool PollMainLoop::runUntil(const std::function<bool()>& done, int timeoutMs) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return done();
        runOnce(static_cast<int>(std::min<long long>(left, 50)));
    }
    return true;
}


}  // namespace glidewheel::platform::linuxdesktop
