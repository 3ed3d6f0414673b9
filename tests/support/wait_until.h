// SPDX-License-Identifier: MIT

#pragma once

// Waiting for what other threads, devices or processes do, with one bound for every test.

#include <chrono>
#include <functional>
#include <thread>

namespace glidewheel::testing {

inline constexpr std::chrono::seconds kWaitLimit{10};

// Sleeps briefly: the pump for waitUntil when the work happens elsewhere.
inline void pause() { std::this_thread::sleep_for(std::chrono::milliseconds(1)); }

// Calls `pump` until `done` holds or `limit` has passed; returns done().
inline bool waitUntil(const std::function<bool()>& done, const std::function<void()>& pump = pause,
                      std::chrono::seconds limit = kWaitLimit) {
    for (auto end = std::chrono::steady_clock::now() + limit; !done(); pump())
        if (std::chrono::steady_clock::now() >= end) return done();
    return true;
}

}  // namespace glidewheel::testing
