// SPDX-License-Identifier: MIT

#pragma once

#include <mutex>

namespace glidewheel::platform {

// A non-recursive mutex for the short critical sections shared by the main thread and the
// display-link thread. Usable with std::scoped_lock and std::unique_lock.
class UnfairLock {
public:
    void lock() { mutex_.lock(); }
    void unlock() { mutex_.unlock(); }
    bool try_lock() { return mutex_.try_lock(); }

private:
    std::mutex mutex_;
};

}  // namespace glidewheel::platform
