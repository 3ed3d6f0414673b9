// SPDX-License-Identifier: MIT

#include "platform/linux/input/input_loop.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <time.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <optional>
#include <system_error>

namespace glidewheel::platform::linuxdesktop {

struct InputLoop::Watch::Entry {
    int fd;
    std::function<void()> onReadable;
    bool enabled = true;
    bool alive = true;
};

InputLoop::Watch::Watch(InputLoop& loop, std::shared_ptr<Entry> entry)
    : loop_(loop), entry_(std::move(entry)) {}

InputLoop::Watch::~Watch() {
    entry_->alive = false;
    std::erase(loop_.watches_, entry_);
}

void InputLoop::Watch::setEnabled(bool enabled) { entry_->enabled = enabled; }

InputLoop::InputLoop() : wakeFd_(adoptFd(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC))) {
    if (!wakeFd_) throw std::system_error(errno, std::generic_category(), "eventfd");
    thread_ = std::thread([this] { run(); });
    threadId_ = thread_.get_id();
}

InputLoop::~InputLoop() {
    {
        std::scoped_lock guard(mutex_);
        stopping_ = true;
    }
    wake();
    thread_.join();
}

std::unique_ptr<InputLoop::Watch> InputLoop::watchReadable(int fd,
                                                           std::function<void()> onReadable) {
    auto entry = std::make_shared<Watch::Entry>(Watch::Entry{fd, std::move(onReadable)});
    watches_.push_back(entry);
    return std::unique_ptr<Watch>(new Watch(*this, std::move(entry)));
}

void InputLoop::post(std::function<void()> task) { postAt(Clock::time_point{}, std::move(task)); }

void InputLoop::postAt(Clock::time_point deadline, std::function<void()> task) {
    {
        std::scoped_lock guard(mutex_);
        tasks_.emplace(deadline, std::move(task));
    }
    wake();
}

void InputLoop::runAndWait(const std::function<void()>& task) {
    if (isInputThread()) {
        task();
        return;
    }
    std::mutex doneMutex;
    std::condition_variable doneChanged;
    bool done = false;
    post([&] {
        task();
        std::scoped_lock guard(doneMutex);
        done = true;
        doneChanged.notify_one();
    });
    std::unique_lock lock(doneMutex);
    doneChanged.wait(lock, [&] { return done; });
}

void InputLoop::wake() {
    const std::uint64_t one = 1;
    // EAGAIN only when the counter is full, and then the loop is woken anyway.
    [[maybe_unused]] const ssize_t written = ::write(wakeFd_.get().fd, &one, sizeof one);
}

std::optional<timespec> InputLoop::pollTimeout() {
    std::scoped_lock guard(mutex_);
    if (stopping_) return timespec{};
    if (tasks_.empty()) return std::nullopt;
    const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(
        std::max(tasks_.begin()->first - Clock::now(), Clock::duration::zero()));
    return timespec{static_cast<time_t>(left.count() / 1'000'000'000),
                    static_cast<long>(left.count() % 1'000'000'000)};
}

void InputLoop::runDueTasks() {
    std::vector<std::function<void()>> due;
    {
        std::scoped_lock guard(mutex_);
        const auto end = tasks_.upper_bound(Clock::now());
        for (auto it = tasks_.begin(); it != end; ++it) due.push_back(std::move(it->second));
        tasks_.erase(tasks_.begin(), end);
    }
    for (const auto& task : due) task();
}

void InputLoop::run() {
    for (;;) {
        // A snapshot: handlers may add or destroy watches, their own included.
        std::vector<std::shared_ptr<Watch::Entry>> polled;
        std::vector<pollfd> fds{pollfd{wakeFd_.get().fd, POLLIN, 0}};
        for (const auto& entry : watches_) {
            if (!entry->enabled) continue;
            polled.push_back(entry);
            fds.push_back(pollfd{entry->fd, POLLIN, 0});
        }
        const std::optional<timespec> timeout = pollTimeout();
        const int ready = ::ppoll(fds.data(), fds.size(), timeout ? &*timeout : nullptr, nullptr);
        if (ready < 0 && errno != EINTR) continue;  // ENOMEM: try again

        if (fds[0].revents & POLLIN) {
            std::uint64_t count;
            [[maybe_unused]] const ssize_t read = ::read(wakeFd_.get().fd, &count, sizeof count);
        }
        {
            std::scoped_lock guard(mutex_);
            if (stopping_) return;
        }
        runDueTasks();
        for (std::size_t i = 1; i < fds.size(); ++i) {
            // POLLNVAL is left out: a closed descriptor would otherwise spin the loop.
            if ((fds[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
            const std::shared_ptr<Watch::Entry>& entry = polled[i - 1];
            if (!entry->alive || !entry->enabled) continue;
            // The handler may destroy its own watch: keep the callable alive for the call.
            const std::function<void()> handler = entry->onReadable;
            handler();
        }
    }
}

}  // namespace glidewheel::platform::linuxdesktop
