#include "tests/device/test_devices.h"

#include <dirent.h>
#include <fcntl.h>
#include <libevdev/libevdev-uinput.h>
#include <libevdev/libevdev.h>
#include <linux/input.h>
#include <linux/uinput.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace glidewheel::devicetest {

void PrintTo(const InputEvent& event, std::ostream* out) {
    const char* type = libevdev_event_type_get_name(event.type);
    const char* code = libevdev_event_code_get_name(event.type, event.code);
    *out << (type ? type : "?") << ' ' << (code ? code : "?") << ' ' << event.value;
}

bool uinputAvailable() { return access("/dev/uinput", R_OK | W_OK) == 0; }

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
        if (fd >= 0) close(fd);
        fd = other.release();
    }
    return *this;
}

UniqueFd::~UniqueFd() {
    if (fd >= 0) close(fd);
}

int UniqueFd::release() {
    int released = fd;
    fd = -1;
    return released;
}

namespace {

std::string deviceName(int fd) {
    std::array<char, 256> name{};
    if (ioctl(fd, EVIOCGNAME(name.size() - 1), name.data()) < 0) return {};
    return name.data();
}

[[noreturn]] void fail(const std::string& what, int error) {
    throw std::runtime_error(what + ": " + std::strerror(error));
}

}  // namespace

std::optional<std::string> findEventNode(const std::string& name, const std::string& except) {
    std::unique_ptr<DIR, int (*)(DIR*)> directory(opendir("/dev/input"), closedir);
    if (!directory) return std::nullopt;
    while (const dirent* entry = readdir(directory.get())) {
        if (std::strncmp(entry->d_name, "event", 5) != 0) continue;
        std::string node = std::string("/dev/input/") + entry->d_name;
        if (node == except) continue;
        UniqueFd fd(open(node.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
        if (fd && deviceName(fd.get()) == name) return node;
    }
    return std::nullopt;
}

bool waitUntil(const std::function<bool()>& done, const std::function<void()>& pump,
               std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        pump();
    }
    return true;
}

void TestMouse::Deleter::operator()(libevdev* device) const { libevdev_free(device); }
void TestMouse::Deleter::operator()(libevdev_uinput* device) const {
    libevdev_uinput_destroy(device);
}

TestMouse::TestMouse(const std::string& name) : name_(name), description_(libevdev_new()) {
    // uinput would cut a longer name, and the tests find devices by name.
    if (name.size() >= UINPUT_MAX_NAME_SIZE) throw std::invalid_argument("too long: " + name);
    libevdev* description = description_.get();
    libevdev_set_name(description, name.c_str());
    libevdev_set_id_bustype(description, BUS_USB);
    libevdev_set_id_vendor(description, 0x1d6b);
    libevdev_set_id_product(description, 0x0104);
    libevdev_enable_event_type(description, EV_REL);
    for (unsigned code : {REL_X, REL_Y, REL_WHEEL, REL_WHEEL_HI_RES, REL_HWHEEL, REL_HWHEEL_HI_RES})
        libevdev_enable_event_code(description, EV_REL, code, nullptr);
    libevdev_enable_event_type(description, EV_KEY);
    for (unsigned code : {BTN_LEFT, BTN_RIGHT})
        libevdev_enable_event_code(description, EV_KEY, code, nullptr);

    libevdev_uinput* device = nullptr;
    int rc = libevdev_uinput_create_from_device(description, LIBEVDEV_UINPUT_OPEN_MANAGED, &device);
    if (rc < 0) fail("creating the test mouse through uinput", -rc);
    device_.reset(device);
}

TestMouse::~TestMouse() = default;

std::string TestMouse::eventNode() const {
    const char* node = libevdev_uinput_get_devnode(device_.get());
    return node ? node : "";
}

void TestMouse::send(const Frame& frame) {
    for (const InputEvent& event : frame) {
        int rc = libevdev_uinput_write_event(device_.get(), event.type, event.code, event.value);
        if (rc < 0) fail("writing to the test mouse", -rc);
    }
    int rc = libevdev_uinput_write_event(device_.get(), EV_SYN, SYN_REPORT, 0);
    if (rc < 0) fail("writing to the test mouse", -rc);
}

EventReader::EventReader(const std::string& eventNode)
    : fd_(open(eventNode.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)) {
    if (!fd_) fail("opening " + eventNode, errno);
}

std::vector<Frame> EventReader::readFrames() {
    std::vector<Frame> frames;
    std::array<input_event, 64> buffer;
    ssize_t bytes;
    while ((bytes = read(fd_.get(), buffer.data(), sizeof buffer)) > 0) {
        for (std::size_t i = 0; i < static_cast<std::size_t>(bytes) / sizeof(input_event); ++i) {
            const input_event& event = buffer[i];
            if (event.type == EV_SYN && event.code == SYN_REPORT) {
                frames.push_back(std::move(partial_));
                partial_.clear();
            } else {
                partial_.push_back({event.type, event.code, event.value});
            }
        }
    }
    return frames;
}

void EventReader::waitReadable(std::chrono::milliseconds timeout) const {
    pollfd watched{fd_.get(), POLLIN, 0};
    poll(&watched, 1, static_cast<int>(timeout.count()));
}

bool isGrabbedElsewhere(const std::string& eventNode) {
    UniqueFd fd(open(eventNode.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!fd) fail("opening " + eventNode, errno);
    if (ioctl(fd.get(), EVIOCGRAB, 1) == 0) {
        ioctl(fd.get(), EVIOCGRAB, 0);
        return false;
    }
    if (errno != EBUSY) fail("grabbing " + eventNode, errno);
    return true;
}

}  // namespace glidewheel::devicetest
