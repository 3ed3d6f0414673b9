// SPDX-License-Identifier: MIT

#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <type_traits>
#include <utility>
#include <vector>

namespace glidewheel {

// A subscription token: the subscription ends when the token is destroyed or cancelled.
class Cancellable {
public:
    Cancellable() = default;
    explicit Cancellable(std::function<void()> cancel) : cancel_(std::move(cancel)) {}
    Cancellable(Cancellable&& other) noexcept : cancel_(std::exchange(other.cancel_, {})) {}
    Cancellable& operator=(Cancellable&& other) noexcept {
        if (this != &other) {
            cancel();
            cancel_ = std::exchange(other.cancel_, {});
        }
        return *this;
    }
    Cancellable(const Cancellable&) = delete;
    Cancellable& operator=(const Cancellable&) = delete;
    ~Cancellable() { cancel(); }

    void cancel() {
        if (auto cancel = std::exchange(cancel_, {})) cancel();
    }

private:
    std::function<void()> cancel_;
};

namespace detail {

// Handlers called synchronously, in subscription order. A handler cancelled during a delivery
// is not called afterwards; one added during a delivery first hears the next one. Tokens may
// outlive the list.
template <class... Args>
class Subscribers {
public:
    Cancellable add(std::function<void(Args...)> handler) {
        auto entry = std::make_shared<Entry>(Entry{std::move(handler), true});
        state_->entries.push_back(entry);
        std::weak_ptr<State> weakState = state_;
        std::weak_ptr<Entry> weakEntry = entry;
        return Cancellable([weakState, weakEntry] {
            auto entry = weakEntry.lock();
            if (!entry) return;
            entry->active = false;
            if (auto state = weakState.lock()) std::erase(state->entries, entry);
        });
    }

    void send(const Args&... args) const {
        const auto snapshot = state_->entries;
        for (const auto& entry : snapshot) {
            if (entry->active) entry->handler(args...);
        }
    }

private:
    struct Entry {
        std::function<void(Args...)> handler;
        bool active;
    };
    struct State {
        std::vector<std::shared_ptr<Entry>> entries;
    };
    std::shared_ptr<State> state_ = std::make_shared<State>();
};

}  // namespace detail

// A change signal with no value: objectWillChange.
class ChangeSignal {
public:
    Cancellable sink(std::function<void()> handler) { return subscribers_.add(std::move(handler)); }
    void send() const { subscribers_.send(); }

private:
    detail::Subscribers<> subscribers_;
};

// A stored value with a stream of its values. A new subscriber hears the current value at once,
// then every value assigned. Assigning delivers the new value before storing it, so a
// subscriber that reads the value during delivery still sees the previous one.
//
// Assigning and subscribing belong to one thread (the main thread); the value may be read from
// any thread without a lock (the input thread's tap callback reads settings for every wheel
// event), so it is held in an atomic and must be trivially copyable.
template <class T>
class Published {
    static_assert(std::is_trivially_copyable_v<T>, "read from other threads through an atomic");

public:
    // Subscribes skipping the first `count` deliveries (the first is the current value).
    class DropFirst {
    public:
        Cancellable sink(std::function<void(const T&)> handler) {
            auto remaining = std::make_shared<std::size_t>(count_);
            return published_.sink([remaining, handler = std::move(handler)](const T& value) {
                if (*remaining > 0) {
                    --*remaining;
                    return;
                }
                handler(value);
            });
        }

    private:
        friend class Published;
        DropFirst(Published& published, std::size_t count) : published_(published), count_(count) {}
        Published& published_;
        std::size_t count_;
    };

    explicit Published(T initial) : value_(initial) {}

    T value() const { return value_.load(std::memory_order_relaxed); }

    void assign(const T& value) {
        subscribers_.send(value);
        value_.store(value, std::memory_order_relaxed);
    }

    Cancellable sink(std::function<void(const T&)> handler) {
        handler(value());
        return subscribers_.add(std::move(handler));
    }

    DropFirst dropFirst(std::size_t count = 1) { return DropFirst(*this, count); }

private:
    std::atomic<T> value_;
    detail::Subscribers<T> subscribers_;
};

}  // namespace glidewheel
