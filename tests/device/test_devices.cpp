// SPDX-License-Identifier: MIT

#include "tests/device/test_devices.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/uinput.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <system_error>
#include <thread>
#include <utility>

namespace glidewheel::devicetest {

using namespace platform;
using linuxdesktop::adoptFd;

[[noreturn]] static void fail(const std::string& what, int error) {
    throw std::system_error(error, std::generic_category(), what);
}

void PrintTo(const InputEvent& event, std::ostream* out) {
    const char* code = libevdev_event_code_get_name(event.type, event.code);
    *out << (code ? code : "?") << ' ' << event.value;
}

std::optional<std::string> findEventNode(const std::string& name, const std::string& except) {
    std::unique_ptr<DIR, int (*)(DIR*)> directory(opendir("/dev/input"), closedir);
    while (const dirent* entry = directory ? readdir(directory.get()) : nullptr) {
        const std::string node = std::string("/dev/input/") + entry->d_name;
        if (!node.starts_with("/dev/input/event") || node == except) continue;
        const auto fd = adoptFd(open(node.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
        char found[256] = {};
        if (fd && ioctl(fd.get().fd, EVIOCGNAME(sizeof found - 1), found) >= 0 && found == name)
            return node;
    }
    return std::nullopt;
}

bool waitUntil(const std::function<bool()>& done, const std::function<void()>& pump) {
    for (auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10); !done(); pump())
        if (std::chrono::steady_clock::now() >= end) return false;
    return true;
}

void pause() { std::this_thread::sleep_for(std::chrono::milliseconds(5)); }

bool isGrabbedElsewhere(const std::string& eventNode) {
    const auto fd = adoptFd(open(eventNode.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!fd) fail("opening " + eventNode, errno);
    if (ioctl(fd.get().fd, EVIOCGRAB, 1) == 0) return false;  // closing the node releases it
    if (errno != EBUSY) fail("grabbing " + eventNode, errno);
    return true;
}

TestMouse::TestMouse(const std::string& name, bool withKeys)
    : name_(name), description_(libevdev_new()) {
    // uinput would cut a longer name, and the tests find devices by name.
    if (name.size() >= UINPUT_MAX_NAME_SIZE) throw std::invalid_argument("too long: " + name);
    libevdev_set_name(description_.get(), name.c_str());
    libevdev_set_id_bustype(description_.get(), BUS_USB);
    for (unsigned code : {REL_X, REL_Y, REL_WHEEL, REL_WHEEL_HI_RES, REL_HWHEEL, REL_HWHEEL_HI_RES})
        libevdev_enable_event_code(description_.get(), EV_REL, code, nullptr);
    for (unsigned code : {BTN_LEFT, BTN_RIGHT})
        libevdev_enable_event_code(description_.get(), EV_KEY, code, nullptr);
    if (withKeys) {
        for (unsigned code : {KEY_1, KEY_2, KEY_VOLUMEUP, KEY_VOLUMEDOWN})
            libevdev_enable_event_code(description_.get(), EV_KEY, code, nullptr);
        const int delay = static_cast<int>(kRepeatDelay.count());
        const int period = static_cast<int>(kRepeatPeriod.count());
        libevdev_enable_event_code(description_.get(), EV_REP, REP_DELAY, &delay);
        libevdev_enable_event_code(description_.get(), EV_REP, REP_PERIOD, &period);
    }
    libevdev_uinput* device = nullptr;
    const int rc = libevdev_uinput_create_from_device(description_.get(),
                                                      LIBEVDEV_UINPUT_OPEN_MANAGED, &device);
    if (rc < 0) fail("creating the test mouse through uinput", -rc);
    device_.reset(device);
}

void TestMouse::send(Frame frame) {
    frame.push_back({EV_SYN, SYN_REPORT, 0});
    for (const InputEvent& e : frame) {
        const int rc = libevdev_uinput_write_event(device_.get(), e.type, e.code, e.value);
        if (rc < 0) fail("writing to the test mouse", -rc);
    }
}

EventReader::EventReader(const std::string& eventNode)
    : fd_(adoptFd(open(eventNode.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC))) {
    if (!fd_) fail("opening " + eventNode, errno);
}

std::vector<Frame> EventReader::readFrames() {
    std::vector<Frame> frames;
    input_event event;
    while (read(fd_.get().fd, &event, sizeof event) == sizeof event) {
        if (event.type == EV_SYN && event.code == SYN_REPORT)
            frames.push_back(std::exchange(partial_, {}));
        else
            partial_.push_back({event.type, event.code, event.value});
    }
    return frames;
}

void DeviceTest::SetUp() {
    if (access("/dev/uinput", R_OK | W_OK) != 0) GTEST_SKIP() << "/dev/uinput is not available";
}

void EvdevTapTest::SetUp() {
    DeviceTest::SetUp();
    if (IsSkipped()) return;
    // Numbered, so no test finds a device that an earlier one left behind.
    static int mice = 0;
    mouse = std::make_unique<TestMouse>("glidewheel test mouse " + std::to_string(++mice));
    tap = service.createTap(
        kCGAnnotatedSessionEventTap, kCGTailAppendEventTap, kCGEventTapOptionDefault,
        CGEventMaskBit(kCGEventScrollWheel),
        [](EventTapProxy proxy, EventType, Event* event, void* self) -> Event* {
            auto& test = *static_cast<EvdevTapTest*>(self);
            std::scoped_lock guard(test.seenMutex_);
            test.seen_.emplace_back(proxy, *event);
            return test.swallow ? nullptr : event;
        },
        this);
    ASSERT_NE(tap, nullptr);
    ASSERT_NE(source = service.createRunLoopSource(*tap), nullptr);
    source->addToMainRunLoop();
    ASSERT_TRUE(runUntil([&] { return isTakenAndGrabbed(*mouse); })) << "mouse not taken";
}

}  // namespace glidewheel::devicetest
