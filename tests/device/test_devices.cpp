// SPDX-License-Identifier: MIT

#include "tests/device/test_devices.h"

#include <fcntl.h>
#include <linux/uinput.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <iostream>
#include <stdexcept>
#include <system_error>
#include <utility>

#include "engine/scroll_interceptor.h"
#include "platform/linux/base/file_io.h"
#include "platform/linux/display/vblank_display_link.h"
#include "platform/sim/sim_platform.h"

extern char** environ;

namespace glidewheel::devicetest {

using namespace platform;

[[noreturn]] static void fail(const std::string& what, int error) {
    throw std::system_error(error, std::generic_category(), what);
}

std::optional<std::string> findEventNode(const std::string& name) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/dev/input", error)) {
        const std::string node = entry.path();
        if (!node.starts_with("/dev/input/event")) continue;
        const auto fd = adoptFd(open(node.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
        char found[256] = {};
        if (fd && ioctl(fd.get().fd, EVIOCGNAME(sizeof found - 1), found) >= 0 && found == name)
            return node;
    }
    return std::nullopt;
}

bool isGrabbedElsewhere(const std::string& eventNode) {
    const auto fd = adoptFd(open(eventNode.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!fd) fail("opening " + eventNode, errno);
    if (ioctl(fd.get().fd, EVIOCGRAB, 1) == 0) return false;  // closing the node releases it
    if (errno != EBUSY) fail("grabbing " + eventNode, errno);
    return true;
}

TestMouse::TestMouse(const std::string& name, Kind kind)
    : name_(name), description_(libevdev_new()) {
    // uinput would cut a longer name, and the tests find devices by name.
    if (name.size() >= UINPUT_MAX_NAME_SIZE) throw std::invalid_argument("too long: " + name);
    libevdev_set_name(description_.get(), name.c_str());
    libevdev_set_id_bustype(description_.get(), BUS_USB);
    // Motion, and both wheels unless the mouse is wheelless.
    for (unsigned code : {REL_X, REL_Y, REL_WHEEL, REL_WHEEL_HI_RES, REL_HWHEEL, REL_HWHEEL_HI_RES})
        if (code == REL_X || code == REL_Y || kind != Kind::wheelless)
            libevdev_enable_event_code(description_.get(), EV_REL, code, nullptr);
    for (unsigned code : {BTN_LEFT, BTN_RIGHT})
        libevdev_enable_event_code(description_.get(), EV_KEY, code, nullptr);
    if (kind == Kind::withKeys) {
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
    int clock = CLOCK_MONOTONIC;
    if (ioctl(fd_.get().fd, EVIOCSCLOCKID, &clock) != 0) fail("EVIOCSCLOCKID", errno);
}

std::vector<TimedFrame> EventReader::readFrames() {
    std::vector<TimedFrame> frames;
    input_event event;
    while (read(fd_.get().fd, &event, sizeof event) == sizeof event) {
        if (event.type == EV_SYN && event.code == SYN_REPORT) {
            const auto at = std::chrono::seconds(event.input_event_sec) +
                            std::chrono::microseconds(event.input_event_usec);
            frames.push_back({Clock::time_point(at), std::exchange(partial_, {})});
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
    if (service.leavesMiceAlone()) return;
    ASSERT_TRUE(waitUntil([&] { return isTakenAndGrabbed(*mouse); })) << "mouse not taken";
}

namespace {

// The real tap service, noting when the engine last posted through it.
class PostTimingTaps final : public EventTapService {
public:
    std::unique_ptr<EventTap> createTap(EventTapLocation location, EventTapPlacement placement,
                                        EventTapOptions options, EventMask events,
                                        EventTapCallback callback, void* userInfo) override {
        return real.createTap(location, placement, options, events, callback, userInfo);
    }
    std::unique_ptr<RunLoopSource> createRunLoopSource(EventTap& tap) override {
        return real.createRunLoopSource(tap);
    }
    void postEvent(EventTapProxy proxy, const Event& event) override {
        real.postEvent(proxy, event);
        lastPost = Clock::now();
    }
    void glideAimed(const GlideAccount& glide) override { real.glideAimed(glide); }
    void glideEnded(const GlideAccount& glide) override { real.glideEnded(glide); }

    linuxdesktop::EvdevEventTapService real;
    std::atomic<Clock::time_point> lastPost{};
};

// The program's backend with the real tap and display links; the rest from the simulation. It
// must outlive the shared interceptor and preferences, which live until exit.
struct RealInputBackend {
    PostTimingTaps taps;
    // As the program wires them: settling lands on the link's refreshes.
    linuxdesktop::VblankDisplayLinkService links{
        [] { return 60.0; }, linuxdesktop::VblankDisplayLinkService::openCardsInDevDri,
        &taps.real.displayRefreshes()};
    sim::SimPlatform sim;

    RealInputBackend() {
        Services services = sim.services();
        services.eventTaps = &taps;
        services.displayLinks = &links;
        install(services);
    }
    static RealInputBackend& installed() {
        static RealInputBackend backend;
        return backend;
    }
};

}  // namespace

void GlideTest::SetUp() {
    DeviceTest::SetUp();
    if (IsSkipped()) return;
    RealInputBackend::installed();
    ScrollInterceptor::shared().start();
    ASSERT_TRUE(ScrollInterceptor::shared().isRunning());
}

void GlideTest::TearDown() {
    if (IsSkipped()) return;             // nothing was installed
    ScrollInterceptor::shared().stop();  // no later test finds its mice grabbed
    mice.clear();
}

TestMouse& GlideTest::plugIn(TestMouse::Kind kind) {
    static int plugged = 0;
    TestMouse& mouse =
        mice.emplace_back("glidewheel glide mouse " + std::to_string(++plugged), kind);
    if (!intercepting_) return mouse;  // plain, its event node ready
    if (!waitUntil([&] { return !cloneOf(mouse).empty(); }))
        throw std::runtime_error("the tap did not take " + mouse.name());
    return mouse;
}

std::string GlideTest::cloneOf(const TestMouse& mouse) const {
    const auto taken = takenDevice(RealInputBackend::installed().taps.real, mouse);
    return taken && taken->grabbed ? taken->cloneDevnode : "";
}

std::size_t GlideTest::takenCount() const {
    return RealInputBackend::installed().taps.real.takenDevices().size();
}

Clock::time_point GlideTest::lastEnginePost() {
    return RealInputBackend::installed().taps.lastPost;
}

void GlideTest::setIntercepting(bool on) {
    mice.clear();
    on ? ScrollInterceptor::shared().start() : ScrollInterceptor::shared().stop();
    intercepting_ = on;
}

// Absolute deadlines a millisecond apart. When the whole VM was held up (its emulator waits for
// the host's CPU), the slots it missed are skipped, not sent in a burst: a mouse reports once
// per poll of its bus, whatever it has gathered, and a burst would overflow the kernel buffer
// however fast the tap reads.
void MotionStream::sendMotion(std::stop_token stop) {
    for (auto next = Clock::now(); !stop.stop_requested();) {
        std::this_thread::sleep_until(next += 1ms);
        next = std::max(next, Clock::now() - 1ms);
        const int number = static_cast<int>(sentAt_.size()) + 1;
        sentAt_.push_back(Clock::now());
        mouse_.send({{EV_REL, REL_X, 1}, {EV_REL, REL_Y, number}});
        std::vector<Frame> extra;
        {
            std::scoped_lock guard(mutex_);
            extra.swap(extra_);
        }
        for (Frame& frame : extra) mouse_.send(std::move(frame));
    }
}

void MotionStream::readClone(std::stop_token stop) {
    while (!stop.stop_requested()) {
        pollfd ready{clone_.fd(), POLLIN, 0};
        poll(&ready, 1, 20);
        for (TimedFrame& frame : clone_.readFrames()) received_.push_back(std::move(frame));
    }
}

MotionStream::Report MotionStream::stop(const char* what) {
    sender_.request_stop();
    sender_.join();
    std::this_thread::sleep_for(300ms);  // the last frames cross the tap
    reader_.request_stop();
    reader_.join();

    Report report;
    report.sent = static_cast<int>(sentAt_.size());
    std::vector<char> seen(sentAt_.size() + 1);               // by frame number
    std::optional<std::pair<int, Clock::time_point>> before;  // the last motion frame received
    std::vector<double> delaysMs;  // from each motion frame sent until its copy's time stamp
    // The longest time between two clone frames in a row less the time between the same two
    // frames when sent: what the input path added, without the pauses of the whole VM that held
    // the mouse up too.
    double maxAddedGapMs = 0;
    for (const TimedFrame& frame : received_) {
        int number = 0;  // the frame's number, 0 if it has none (numbers start at 1)
        for (const InputEvent& e : frame.events) {
            if (e.code == REL_Y) number = e.value;
            if (e.type == EV_REL) report.relative[e.code] += e.value;
            if (e.type == EV_KEY) ++report.keys;
            if (e.type == EV_KEY && e.value) report.held.insert(e.code);
            if (e.type == EV_KEY && !e.value) report.held.erase(e.code);
        }
        if (number < 1 || number > report.sent) continue;
        if (!std::exchange(seen[number], true))
            delaysMs.push_back(Milliseconds(frame.at - sentAt_[number - 1]).count());
        if (before && number > before->first) {
            const auto sentGap = sentAt_[number - 1] - sentAt_[before->first - 1];
            const Milliseconds added = frame.at - before->second - sentGap;
            maxAddedGapMs = std::max(maxAddedGapMs, added.count());
        }
        before = {number, frame.at};
    }
    report.lost = report.sent - static_cast<int>(delaysMs.size());
    report.wheelFrames = wheelFramesOf(received_);
    std::sort(delaysMs.begin(), delaysMs.end());
    const auto percentile = [&](double p) {
        return delaysMs.empty() ? 0.0
                                : delaysMs[static_cast<std::size_t>(p * (delaysMs.size() - 1))];
    };
    std::cout << "forwarding " << what << ": " << report.sent << " frames, " << report.lost
              << " lost, delay p50 " << percentile(0.5) << " ms, p99 " << percentile(0.99)
              << " ms, the longest gap added on the way " << maxAddedGapMs << " ms\n";
    EXPECT_EQ(report.lost, 0);
    EXPECT_LT(maxAddedGapMs, kLongestGapMs);
    return report;
}

std::string contentsOf(const std::string& path) {
    int error = 0;
    return linuxdesktop::readFile(path, error).value_or("");
}

Child::Child(const std::vector<std::string>& argv, const std::string& out, const std::string& err) {
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    constexpr int kWrite = O_WRONLY | O_CREAT | O_TRUNC;
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(), kWrite, 0600);
    if (!err.empty())
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err.c_str(), kWrite, 0600);
    if (posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
}

Child::~Child() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
}

int Child::wait() {
    int status = 0;
    const bool exited = pid_ > 0 && waitpid(pid_, &status, 0) == pid_ && WIFEXITED(status);
    pid_ = -1;
    return exited ? WEXITSTATUS(status) : -1;
}

Desktop::Desktop(const char* program, std::vector<std::string> sessionEnv)
    : program_(program), sessionEnv_(std::move(sessionEnv)) {
    if (!mkdtemp(runtime_.data())) fail("making a desktop's runtime directory", errno);
}

bool Desktop::listening() const { return access((runtime() + "/glidewheel").c_str(), F_OK) == 0; }

std::string Desktop::version() const {
    const std::string out = runtime() + "/version";
    Child(hostCommand({program_, "--version"}), out).wait();
    const std::string said = contentsOf(out);
    return said.substr(0, said.find('\n'));
}

bool Desktop::opened(const std::string& deviceName) const {
    const std::optional<std::string> node = findEventNode(deviceName);
    struct stat device {};
    if (!node || stat(node->c_str(), &device) != 0) return false;
    // By device number: a descriptor opened through /host/dev reads as that path from here.
    const std::string self = std::to_string(getpid());
    std::error_code error;
    for (const auto& process : std::filesystem::directory_iterator("/proc", error)) {
        if (process.path().filename() == self) continue;
        for (const auto& fd : std::filesystem::directory_iterator(process.path() / "fd", error)) {
            struct stat held {};
            if (stat(fd.path().c_str(), &held) == 0 && S_ISCHR(held.st_mode) &&
                held.st_rdev == device.st_rdev)
                return true;
        }
    }
    return false;
}

Weston::Weston() : Desktop(kPath, {"XDG_SESSION_TYPE=wayland"}) {
    start({"/bin/env", "-u", "WAYLAND_DISPLAY", "XDG_RUNTIME_DIR=" + runtime(), kPath,
           "--backend=drm-backend.so", "--use-pixman", "--shell=kiosk-shell.so", "--tty=1",
           "--idle-time=0", "--socket=glidewheel", "--no-config", "--log=" + log()},
          "/dev/null", "/dev/null");
}

constexpr char kSwayUser[] = "glidewheel-desktop";

Sway::Sway() : Desktop(kPath, {"XDG_SESSION_TYPE=wayland", "XDG_CURRENT_DESKTOP=sway"}) {
    const std::string config = runtime() + "/sway.conf";
    std::ofstream(config) << "default_border none\nxwayland disable\n";
    Child(hostCommand({"/usr/sbin/useradd", "--system", "--no-create-home", kSwayUser}),
          "/dev/null", "/dev/null")
        .wait();  // fails harmlessly when the user is there
    Child(hostCommand({"/bin/chown", std::string(kSwayUser) + ':', runtime()}), "/dev/null").wait();
    start(hostCommand({"/usr/sbin/seatd", "-u", kSwayUser, "-g", kSwayUser}));
    waitUntil([] { return access("/run/seatd.sock", F_OK) == 0; });
    start(hostCommand({"/usr/sbin/runuser", "-u", kSwayUser, "--", "/usr/bin/env",
                       "XDG_RUNTIME_DIR=" + runtime(), "LIBSEAT_BACKEND=seatd",
                       "WLR_RENDERER=pixman", kPath, "-c", config}));
}

std::string Sway::runtimeEntry(std::string_view prefix) const {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(runtime(), error)) {
        const std::string name = entry.path().filename();
        if (name.starts_with(prefix) && entry.is_socket()) return name;
    }
    return {};
}

std::string Desktop::startLoginStub() {
    const std::string bus = "unix:path=" + runtime() + "/system_bus";
    start(hostCommand({"/usr/bin/dbus-daemon", "--nofork", "--address=" + bus,
                       "--config-file=" + besideTests("system-bus.conf")}));
    waitUntil([&] { return access((runtime() + "/system_bus").c_str(), F_OK) == 0; });
    const std::string stub = runtime() + "/login-stub.out";
    start(hostCommand({"/usr/bin/python3", besideTests("login_stub.py")},
                      {"DBUS_SYSTEM_BUS_ADDRESS=" + bus}),
          stub);
    waitUntil([&] { return !contentsOf(stub).empty(); });
    return bus;
}

std::string Desktop::startSessionBus() {
    const std::string bus = "unix:path=" + runtime() + "/session_bus";
    start(hostCommand({"/usr/bin/dbus-daemon", "--nofork", "--session", "--address=" + bus}));
    waitUntil([&] { return access((runtime() + "/session_bus").c_str(), F_OK) == 0; });
    addSessionVariable("DBUS_SESSION_BUS_ADDRESS=" + bus);
    return bus;
}

Kwin::Kwin(bool xwayland)
    : Desktop(kPath,
              {"XDG_SESSION_TYPE=wayland", "XDG_CURRENT_DESKTOP=KDE", "KDE_SESSION_VERSION=5"}) {
    const std::string system = startLoginStub(), session = startSessionBus();
    std::vector<std::string> command = {kPath,
                                        "--drm",
                                        "--socket",
                                        "glidewheel",
                                        "--no-lockscreen",
                                        "--no-global-shortcuts",
                                        "--no-kactivities"};
    if (xwayland) command.push_back("--xwayland");
    start(hostCommand(command, {"XDG_RUNTIME_DIR=" + runtime(), "DBUS_SYSTEM_BUS_ADDRESS=" + system,
                                "DBUS_SESSION_BUS_ADDRESS=" + session, "KWIN_COMPOSE=Q"}));
    addSessionVariable("XDG_RUNTIME_DIR=" + runtime());
}

Mutter::Mutter() : Desktop(kPath, {"XDG_SESSION_TYPE=wayland", "XDG_CURRENT_DESKTOP=GNOME"}) {
    std::filesystem::create_directories("/run/systemd/sessions");
    std::ofstream("/run/systemd/sessions/test")
        << "ACTIVE=1\nSTATE=active\nTYPE=wayland\nCLASS=user\nSEAT=seat0\n";
    const std::string system = startLoginStub(), session = startSessionBus();
    start(hostCommand(
        {kPath, "--wayland", "--display-server", "--no-x11", "--wayland-display=glidewheel"},
        {"XDG_RUNTIME_DIR=" + runtime(), "XDG_SESSION_ID=test", "DBUS_SYSTEM_BUS_ADDRESS=" + system,
         "DBUS_SESSION_BUS_ADDRESS=" + session, "GSETTINGS_BACKEND=memory"}));
}

Xorg::Xorg() : Desktop(kPath, {"XDG_SESSION_TYPE=x11"}) {
    const std::string config = runtime() + "/xorg.conf";
    std::ofstream(config) << "Section \"Device\"\n"
                             "  Identifier \"virtual display\"\n"
                             "  Driver \"modesetting\"\n"
                             "  Option \"kmsdev\" \"/dev/dri/card0\"\n"
                             "EndSection\n";
    start(hostCommand({kPath, ":7", "-config", config, "-nolisten", "tcp", "-noreset",
                       "-novtswitch", "-sharevts", "-logfile", log(), "vt1"}),
          "/dev/null", "/dev/null");
}

bool Xorg::listening() const { return access("/tmp/.X11-unix/X7", F_OK) == 0; }

std::string Xorg::version() const {
    const std::string started = contentsOf(log()), name = "X.Org X Server ";
    const std::size_t at = started.find(name);
    if (at == std::string::npos) return "Xorg of unknown version";
    return started.substr(at, started.find('\n', at) - at);
}

bool moveOnto(TestMouse& mouse, const std::function<bool()>& entered, bool intoTheCorner) {
    int step = 0;
    return waitUntil(
        [&] {
            if (intoTheCorner)
                mouse.send({{EV_REL, REL_X, -16}, {EV_REL, REL_Y, -16}});
            else
                mouse.send({{EV_REL, REL_X, ++step % 2 ? 4 : -4}});
            return entered();
        },
        [] { std::this_thread::sleep_for(50ms); });
}

namespace {
constexpr char kHostRoot[] = "/host";
constexpr char kHostTestDir[] = "/host-test-dir";  // the test binary's folder, from run_vm.sh
bool inVm() { return std::filesystem::exists(kHostTestDir); }
}  // namespace

std::string noHostRoot(const std::string& program) {
    const std::string root = inVm() ? kHostRoot : "";
    // init writes why it could not mount it.
    if (std::string why = inVm() ? contentsOf("/host-missing") : ""; !why.empty()) return why;
    if (inVm() && !std::filesystem::exists(root + "/usr/bin/env"))
        return "nothing is mounted at " + root;
    if (!program.empty() && access((root + program).c_str(), X_OK) != 0)
        return "no " + program + " (scripts/deps test installs it)";
    return {};
}

std::string besideTests(const std::string& file) {
    if (inVm()) return "/glidewheel-tests/" + file;  // where init binds the folder (under /host)
    return std::filesystem::read_symlink("/proc/self/exe").parent_path() / file;
}

std::vector<std::string> hostCommand(const std::vector<std::string>& argv,
                                     const std::vector<std::string>& env) {
    // A compositor started where WAYLAND_DISPLAY is set (a desktop's terminal) would nest in it.
    std::vector<std::string> command{"/usr/bin/env", "-u", "WAYLAND_DISPLAY"};
    if (inVm()) command.insert(command.begin(), {"/bin/chroot", kHostRoot});
    command.insert(command.end(), env.begin(), env.end());
    command.insert(command.end(), argv.begin(), argv.end());
    return command;
}

}  // namespace glidewheel::devicetest
