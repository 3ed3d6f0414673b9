#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

struct libevdev;
struct libevdev_uinput;

namespace glidewheel::devicetest {

// One evdev event as the kernel reports it, without its time stamp.
struct InputEvent {
    std::uint16_t type = 0;
    std::uint16_t code = 0;
    std::int32_t value = 0;

    friend bool operator==(const InputEvent&, const InputEvent&) = default;
};
void PrintTo(const InputEvent& event, std::ostream* out);

// The events of one frame, without the SYN_REPORT that ends it.
using Frame = std::vector<InputEvent>;

// True when this process may create uinput devices; the device tests skip otherwise.
bool uinputAvailable();

// The event node (/dev/input/eventN) of the device with this name, if there is one. `except`
// names a node to pass over (a clone carries the name of its original).
std::optional<std::string> findEventNode(const std::string& name, const std::string& except = {});

// Calls `pump` until `done` holds or `timeout` has passed; returns whether `done` held. Device
// events cross the kernel and, in the test VM, an emulated CPU: the timeouts are generous.
bool waitUntil(const std::function<bool()>& done, const std::function<void()>& pump,
               std::chrono::milliseconds timeout = std::chrono::seconds(10));

struct UniqueFd {
    explicit UniqueFd(int fd = -1) : fd(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : fd(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    ~UniqueFd();
    int release();
    int get() const { return fd; }
    explicit operator bool() const { return fd >= 0; }

private:
    int fd;
};

// A wheel mouse made through uinput: motion, two buttons, and a vertical and a horizontal wheel
// that report both detents and high-resolution units (120 per detent).
class TestMouse {
public:
    explicit TestMouse(const std::string& name);
    ~TestMouse();
    TestMouse(const TestMouse&) = delete;
    TestMouse& operator=(const TestMouse&) = delete;

    const std::string& name() const { return name_; }
    std::string eventNode() const;
    // Writes the frame's events, then SYN_REPORT.
    void send(const Frame& frame);

private:
    struct Deleter {
        void operator()(libevdev* device) const;
        void operator()(libevdev_uinput* device) const;
    };

    std::string name_;
    std::unique_ptr<libevdev, Deleter> description_;
    std::unique_ptr<libevdev_uinput, Deleter> device_;
};

// Reads an event node frame by frame, without grabbing it.
class EventReader {
public:
    explicit EventReader(const std::string& eventNode);

    int fd() const { return fd_.get(); }
    // Reads what the node has ready, without blocking, and returns the complete frames.
    std::vector<Frame> readFrames();
    // Blocks up to `timeout` for the node to become readable.
    void waitReadable(std::chrono::milliseconds timeout) const;

private:
    UniqueFd fd_;
    Frame partial_;
};

// Whether some other descriptor holds the device's grab: our own attempt to grab it then fails
// with EBUSY. A successful attempt is released at once.
bool isGrabbedElsewhere(const std::string& eventNode);

// Device tests need to make uinput devices: they run in the test VM, or on a host that gives
// this user /dev/uinput, and skip elsewhere.
class DeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!uinputAvailable()) GTEST_SKIP() << "/dev/uinput is not available to this user";
    }
};

}  // namespace glidewheel::devicetest
