// SPDX-License-Identifier: MIT

#pragma once

#include <time.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "platform/linux/base/unique_fd.h"

namespace glidewheel::platform::linuxdesktop {

// The input thread: one thread with its own poll() loop, on which everything that touches a
// mouse runs (reading, grabbing, forwarding, clones, the tap's callback). The program carries
// the whole mouse, and a reader's kernel buffer holds only about 42 ms of a 1000 Hz mouse, so
// nothing here may wait for the GUI thread.
//
// Watches are made, changed and destroyed on the input thread only, also from inside a handler
// (their own included). Tasks may be handed over from any thread.
class InputLoop {
public:
    using Clock = std::chrono::steady_clock;

    // Calls its handler on the input thread whenever the descriptor is readable (or reports an
    // error or hang-up), while the watch lives and is enabled. Destroying it never closes the
    // descriptor.
    class Watch {
    public:
        ~Watch();
        Watch(const Watch&) = delete;
        Watch& operator=(const Watch&) = delete;
        void setEnabled(bool enabled);

    private:
        friend class InputLoop;
        struct Entry;
        Watch(InputLoop& loop, std::shared_ptr<Entry> entry);
        InputLoop& loop_;
        std::shared_ptr<Entry> entry_;
    };

    // Starts the thread, which then sleeps in poll() until there is something to do.
    InputLoop();
    // Ends the thread once the task it is running returns; tasks not yet begun are dropped.
    // Every watch must be gone by then.
    ~InputLoop();
    InputLoop(const InputLoop&) = delete;
    InputLoop& operator=(const InputLoop&) = delete;

    // Input thread only.
    std::unique_ptr<Watch> watchReadable(int fd, std::function<void()> onReadable);

    // Runs `task` on the input thread soon, after the tasks handed over before it. Any thread.
    void post(std::function<void()> task);
    // Runs `task` on the input thread once `deadline` has passed; tasks due together run in the
    // order they were handed over. Any thread.
    void postAt(Clock::time_point deadline, std::function<void()> task);
    // Runs `task` on the input thread and returns once it has returned: at once when called
    // there, else after the tasks handed over before it. Never call it from a task while another
    // thread waits for that thread.
    void runAndWait(const std::function<void()>& task);

    bool isInputThread() const { return std::this_thread::get_id() == threadId_; }

private:
    void run();
    void runDueTasks();
    std::optional<timespec> pollTimeout();  // none: no task waits
    void wake();

    UniqueFd wakeFd_;  // an eventfd: written to hand over a task or end the loop
    std::vector<std::shared_ptr<Watch::Entry>> watches_;  // input thread only

    std::mutex mutex_;
    // By deadline; handed-over order among equal deadlines (a multimap keeps insertion order).
    std::multimap<Clock::time_point, std::function<void()>> tasks_;
    bool stopping_ = false;

    std::thread thread_;
    std::thread::id threadId_;
};

}  // namespace glidewheel::platform::linuxdesktop
