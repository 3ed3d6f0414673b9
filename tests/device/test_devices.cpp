#include "tests/device/test_devices.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/uinput.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <system_error>

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
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (; !done(); pump())
        if (std::chrono::steady_clock::now() >= deadline) return false;
    return true;
}

bool isGrabbedElsewhere(const std::string& eventNode) {
    const auto fd = adoptFd(open(eventNode.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!fd) fail("opening " + eventNode, errno);
    if (ioctl(fd.get().fd, EVIOCGRAB, 1) == 0) {
        ioctl(fd.get().fd, EVIOCGRAB, 0);
        return false;
    }
    if (errno != EBUSY) fail("grabbing " + eventNode, errno);
    return true;
}

TestMouse::TestMouse(const std::string& name) : name_(name), description_(libevdev_new()) {
    // uinput would cut a longer name, and the tests find devices by name.
    if (name.size() >= UINPUT_MAX_NAME_SIZE) throw std::invalid_argument("too long: " + name);
    libevdev* description = description_.get();
    libevdev_set_name(description, name.c_str());
    libevdev_set_id_bustype(description, BUS_USB);
    for (unsigned code : {REL_X, REL_Y, REL_WHEEL, REL_WHEEL_HI_RES, REL_HWHEEL, REL_HWHEEL_HI_RES})
        libevdev_enable_event_code(description, EV_REL, code, nullptr);
    for (unsigned code : {BTN_LEFT, BTN_RIGHT})
        libevdev_enable_event_code(description, EV_KEY, code, nullptr);
    libevdev_uinput* device = nullptr;
    const int rc =
        libevdev_uinput_create_from_device(description, LIBEVDEV_UINPUT_OPEN_MANAGED, &device);
    if (rc < 0) fail("creating the test mouse through uinput", -rc);
    device_.reset(device);
}

std::string TestMouse::eventNode() const {
    const char* node = libevdev_uinput_get_devnode(device_.get());
    return node ? node : "";
}

void TestMouse::send(const Frame& frame) {
    Frame withReport = frame;
    withReport.push_back({EV_SYN, SYN_REPORT, 0});
    for (const InputEvent& event : withReport) {
        const int rc =
            libevdev_uinput_write_event(device_.get(), event.type, event.code, event.value);
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
        if (event.type == EV_SYN && event.code == SYN_REPORT) {
            frames.push_back(std::move(partial_));
            partial_.clear();
        } else {
            partial_.push_back({event.type, event.code, event.value});
        }
    }
    return frames;
}

void DeviceTest::SetUp() {
    if (access("/dev/uinput", R_OK | W_OK) != 0) GTEST_SKIP() << "/dev/uinput is not available";
}

void EvdevTapTest::SetUp() {
    DeviceTest::SetUp();
    if (IsSkipped()) return;
    service = std::make_unique<linuxdesktop::EvdevEventTapService>(loop);
    // Numbered, so no test finds a device that an earlier one left behind.
    static int mice = 0;
    mouse = std::make_unique<TestMouse>("glidewheel test mouse " + std::to_string(++mice));
    tap = service->createTap(
        kCGAnnotatedSessionEventTap, kCGTailAppendEventTap, kCGEventTapOptionDefault,
        CGEventMaskBit(kCGEventScrollWheel),
        [](EventTapProxy proxy, EventType, Event* event, void* self) -> Event* {
            auto& test = *static_cast<EvdevTapTest*>(self);
            test.seen.emplace_back(proxy, *event);
            return test.swallow ? nullptr : event;
        },
        this);
    ASSERT_NE(tap, nullptr);
    source = service->createRunLoopSource(*tap);
    ASSERT_NE(source, nullptr);
    source->addToMainRunLoop();
    ASSERT_TRUE(runUntil([&] { return isTakenAndGrabbed(*mouse); })) << "mouse not taken";
}

std::optional<EvdevTapTest::TakenDevice> EvdevTapTest::taken(const TestMouse& mouse) const {
    for (const TakenDevice& device : service->takenDevices())
        if (device.devnode == mouse.eventNode()) return device;
    return std::nullopt;
}

bool EvdevTapTest::runUntil(const std::function<bool()>& done) {
    // Short turns: some of what the tests wait for (a clone's node, a posted frame) does not
    // wake the loop.
    return waitUntil(done, [&] { loop.runOnce(20); });
}

std::vector<Frame> EvdevTapTest::receiveFrames(EventReader& reader, std::size_t count) {
    std::vector<Frame> frames;
    runUntil([&] {
        for (Frame& frame : reader.readFrames()) frames.push_back(std::move(frame));
        return frames.size() >= count;
    });
    return frames;
}

}  // namespace glidewheel::devicetest
