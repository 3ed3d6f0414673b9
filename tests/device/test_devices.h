// SPDX-License-Identifier: MIT

#pragma once

// The device tests' harness: test mice made through uinput, one reader of event nodes, the real
// tap with a recording callback, the program's whole input path behind the shared interceptor,
// the scenarios of wheel notches that every reader of the clones (libinput, a compositor's
// clients) is checked against, with the player that runs them through that path; and the VM's
// virtual display (vkms), its own vblanks, and how a stream of frames falls on them.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/types.h>
#include <xf86drm.h>
#include <xf86drmMode.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/linux/base/unique_fd.h"
#include "platform/linux/input/devices/handles.h"
#include "platform/linux/input/evdev_event_tap.h"
#include "settings/preferences.h"
#include "tests/support/wait_until.h"

namespace glidewheel::devicetest {

using namespace std::chrono_literals;
using platform::linuxdesktop::adoptFd;
using testing::pause;
using testing::waitUntil;
using Clock = std::chrono::steady_clock;  // CLOCK_MONOTONIC: the clock of every stamp read here
using Milliseconds = std::chrono::duration<double, std::milli>;

// One evdev event as the kernel reports it, without its time stamp.
struct InputEvent {
    std::uint16_t type = 0, code = 0;
    std::int32_t value = 0;
    friend bool operator==(const InputEvent&, const InputEvent&) = default;
};
inline void PrintTo(const InputEvent& event, std::ostream* out) {
    const char* code = libevdev_event_code_get_name(event.type, event.code);
    *out << (code ? code : "?") << ' ' << event.value;
}

// The events of one frame, without the SYN_REPORT that ends it.
using Frame = std::vector<InputEvent>;

// A notch of a high-resolution wheel either way, as a mouse sends it.
inline const Frame kNotchDown = {{EV_REL, REL_WHEEL, -1}, {EV_REL, REL_WHEEL_HI_RES, -120}};
inline const Frame kNotchUp = {{EV_REL, REL_WHEEL, 1}, {EV_REL, REL_WHEEL_HI_RES, 120}};
inline const Frame kNotchRight = {{EV_REL, REL_HWHEEL, 1}, {EV_REL, REL_HWHEEL_HI_RES, 120}};
// Motion always passes: once it comes out, everything sent before it has been handled.
inline const Frame kFence = {{EV_REL, REL_Y, 1}};
inline const Frame kPress = {{EV_KEY, BTN_LEFT, 1}}, kRelease = {{EV_KEY, BTN_LEFT, 0}};

// The event node of the device with this name.
std::optional<std::string> findEventNode(const std::string& name);

// Whether another descriptor holds the device's grab (ours then fails with EBUSY).
bool isGrabbedElsewhere(const std::string& eventNode);

// A wheel mouse made through uinput: motion, two buttons, and both wheels in both resolutions.
// One with keys also has a few keyboard keys (as gaming mice do), which the kernel repeats
// while held: after kRepeatDelay, then every kRepeatPeriod. A wheelless one is a plain pointer,
// which the program leaves alone.
class TestMouse {
public:
    enum class Kind { wheelMouse, withKeys, wheelless };
    static constexpr std::chrono::milliseconds kRepeatDelay{250}, kRepeatPeriod{33};

    explicit TestMouse(const std::string& name, Kind kind = Kind::wheelMouse);
    const std::string& name() const { return name_; }
    std::string eventNode() const {
        const char* node = libevdev_uinput_get_devnode(device_.get());
        return node ? node : "";
    }
    void send(Frame frame);  // the frame's events, then SYN_REPORT

private:
    std::string name_;
    platform::linuxdesktop::LibevdevPtr description_;
    platform::linuxdesktop::UinputPtr device_;
};

using TakenDevice = platform::linuxdesktop::EvdevEventTapService::TakenDevice;
// What the tap service holds of the mouse: its clone, whether it is grabbed, its proxy.
inline std::optional<TakenDevice> takenDevice(
    const platform::linuxdesktop::EvdevEventTapService& service, const TestMouse& mouse) {
    for (const TakenDevice& device : service.takenDevices())
        if (device.devnode == mouse.eventNode()) return device;
    return std::nullopt;
}

// A frame with the kernel's time stamp of its SYN_REPORT.
struct TimedFrame {
    Clock::time_point at;
    Frame events;
};

// When each frame that moves a wheel in high-resolution units came.
inline std::vector<Clock::time_point> wheelFramesOf(const std::vector<TimedFrame>& frames) {
    std::vector<Clock::time_point> at;
    for (const TimedFrame& frame : frames)
        if (std::ranges::any_of(frame.events, [](const InputEvent& e) {
                return e.code == REL_WHEEL_HI_RES || e.code == REL_HWHEEL_HI_RES;
            }))
            at.push_back(frame.at);
    return at;
}

// Reads an event node frame by frame, without grabbing it, stamped on CLOCK_MONOTONIC.
class EventReader {
public:
    explicit EventReader(const std::string& eventNode);
    std::vector<TimedFrame> readFrames();  // the complete frames ready now, without blocking
    int fd() const { return fd_.get().fd; }

private:
    platform::linuxdesktop::UniqueFd fd_;
    Frame partial_;
};

// Device tests need to make uinput devices: they run in the test VM, or on a host that gives
// this user /dev/uinput, and skip elsewhere.
struct DeviceTest : ::testing::Test {
    void SetUp() override;
};

// The real tap on a poll() loop, created as the interceptor creates it, with its source on the
// loop and one test mouse, plugged in before it started, grabbed. Its callback records what it
// is given and swallows or passes it as told.
class EvdevTapTest : public DeviceTest {
protected:
    // A service that leaves mice alone takes none, so SetUp waits for no grab.
    explicit EvdevTapTest(bool leaveMiceAlone = false) : service(leaveMiceAlone) {}
    void SetUp() override;
    std::optional<TakenDevice> taken(const TestMouse& m) const { return takenDevice(service, m); }
    bool isTakenAndGrabbed(const TestMouse& m) const { return taken(m) && taken(m)->grabbed; }
    // Waits until `count` frames have come out of `reader`; returns all that came.
    static std::vector<Frame> receiveFrames(EventReader& reader, std::size_t count) {
        std::vector<Frame> frames;
        waitUntil([&] {
            for (TimedFrame& frame : reader.readFrames()) frames.push_back(std::move(frame.events));
            return frames.size() >= count;
        });
        return frames;
    }

    platform::linuxdesktop::EvdevEventTapService service;
    std::unique_ptr<TestMouse> mouse;
    // What the callback was given so far; it runs on the tap's input thread.
    std::vector<std::pair<platform::EventTapProxy, platform::Event>> seen() const {
        std::scoped_lock guard(seenMutex_);
        return seen_;
    }
    std::atomic<bool> swallow = true;
    std::unique_ptr<platform::EventTap> tap;
    std::unique_ptr<platform::RunLoopSource> source;

private:
    mutable std::mutex seenMutex_;
    std::vector<std::pair<platform::EventTapProxy, platform::Event>> seen_;
};

// The program's input path: the real tap on its input thread behind the shared interceptor at
// the default settings (speed 1.0, smoothness 0.5), its glides paced by the program's display
// link (the vblanks of the VM's virtual display, or a 60 Hz timer). Each test starts and stops
// the interceptor; the mice it plugs in go with it.
class GlideTest : public DeviceTest {
protected:
    static constexpr auto kRefresh = std::chrono::microseconds(16667);  // at 60 Hz
    // How late the emulated CPU's timers may fire.
    static constexpr auto kEmulationSlack = std::chrono::milliseconds(10);

    void SetUp() override;
    void TearDown() override;
    // A new test mouse, once the tap has grabbed it and stood its clone in its place.
    TestMouse& plugIn(TestMouse::Kind kind = TestMouse::Kind::wheelMouse);
    // The clone of a grabbed mouse, or nothing.
    std::string cloneOf(const TestMouse& mouse) const;
    std::size_t takenCount() const;  // the mice the tap holds
    // The pump for waits on cloneOf or takenCount while the input thread is measured: each look
    // runs on that thread, so only every 5 ms.
    static void seldom() { std::this_thread::sleep_for(std::chrono::milliseconds(5)); }
    // Stops or restarts the program's input path. A mouse plugged in while it is stopped stays
    // a plain mouse that the desktop reads directly: the control run of what the program changes.
    void setIntercepting(bool on);
    bool intercepting() const { return intercepting_; }
    // When the engine last posted a glide's frame (settling is the backend's, not posted).
    static Clock::time_point lastEnginePost();

    std::deque<TestMouse> mice;

private:
    bool intercepting_ = true;
};

// The VM's own idle pauses reach about 35 ms under emulation; a stall of the input path as long
// as the kernel buffer would show well above this. Pauses of the whole VM hold the test mouse
// up too, so what is checked is the gap the input path added to the mouse's own.
inline constexpr double kLongestGapMs = 50;

// Moves a test mouse as a 1000 Hz mouse does, one motion frame a millisecond on a thread of its
// own, and reads the mouse's clone on another, as a desktop would. Each motion frame carries its
// number (REL_Y), so what the clone lost or delayed can be told frame by frame.
class MotionStream {
public:
    // What came out of the node read (the clone, or the mouse itself while nothing smooths).
    struct Report {
        int sent = 0;
        int lost = 0;                                // motion frames sent that never came out
        std::map<std::uint16_t, long> relative;      // each relative code's sum
        int keys = 0;                                // key and button events
        std::set<std::uint16_t> held;                // the keys and buttons they leave down
        std::vector<Clock::time_point> wheelFrames;  // those with high-resolution wheel units
    };

    MotionStream(TestMouse& mouse, const std::string& cloneNode)
        : mouse_(mouse),
          clone_(cloneNode),
          reader_([this](std::stop_token stop) { readClone(stop); }),
          sender_([this](std::stop_token stop) { sendMotion(stop); }) {}

    // Sends `frame` between two motion frames: the mouse's frames come from this stream alone.
    void sendBetween(Frame frame) {
        std::scoped_lock guard(mutex_);
        extra_.push_back(std::move(frame));
    }
    // Stops moving, lets the clone's last frames arrive, and reports, printed as `what`: no
    // motion frame may be lost or held up on the way.
    Report stop(const char* what);
    const std::vector<TimedFrame>& received() const { return received_; }  // once stopped

private:
    void sendMotion(std::stop_token stop);
    void readClone(std::stop_token stop);

    TestMouse& mouse_;
    EventReader clone_;
    std::mutex mutex_;
    std::vector<Frame> extra_;               // guarded by mutex_
    std::vector<Clock::time_point> sentAt_;  // by frame number - 1; sender only
    std::vector<TimedFrame> received_;       // reader only
    std::jthread reader_;
    std::jthread sender_;  // last: starts once everything is set up
};

// --- Scenarios, and what applications should receive from each ---

// A frame one of the scenario's mice sends, and how long the scenario then runs on.
struct Step {
    std::size_t mouse = 0;
    Frame frame;
    std::chrono::milliseconds then{};
};

// What a scenario should leave, and its steps: scroll in v120 units (120 a detent, positive
// down and right) summed over its mice, and the legacy steps of the clones in order (REL_WHEEL
// positive up, REL_HWHEEL positive right), mouse by mouse. The last step's run outlasts the
// glide and its settling.
struct Scenario {
    const char* name;
    std::chrono::milliseconds pause{};  // before the first step, the mice plugged in and idle
    double vertical = 0, horizontal = 0;
    std::vector<int> verticalSteps{}, horizontalSteps{};
    std::vector<Step> steps{};
    double acceleration = 0.0;  // the setting the row runs at

    friend void PrintTo(const Scenario& scenario, std::ostream* out) { *out << scenario.name; }
};

// `count` notches down `apart`, the scenario running on for `last` after the last one.
inline std::vector<Step> notchesDown(int count, std::chrono::milliseconds apart,
                                     std::chrono::milliseconds last) {
    std::vector<Step> steps(count, {0, kNotchDown, apart});
    steps.back().then = last;
    return steps;
}

// Bursts of one and two notches 30 ms apart, 400 ms after the one before: each glide's settling
// runs into the next one's start or just past it, where a settling post could share a refresh
// with a glide's.
inline std::vector<Step> bursts(int count) {
    std::vector<Step> steps;
    for (int burst = 0; burst < count; ++burst)
        for (int notch = 0; notch <= burst % 2; ++notch)
            steps.push_back({0, kNotchDown, notch < burst % 2 ? 30ms : 400ms});
    steps.back().then = 800ms;
    return steps;
}

// The turn comes mid-glide; a plain mouse leaves one click down and two up.
inline const std::vector<Step> kDownUpUp = {{0, kNotchDown, 100ms},
                                            {0, kNotchUp, 1500ms},
                                            {0, kNotchUp, 1500ms}};
// Horizontal scroll, starting mid-glide of vertical scroll.
inline const std::vector<Step> kDownRightDown = {{0, kNotchDown, 150ms},
                                                 {0, kNotchRight, 150ms},
                                                 {0, kNotchDown, 1150ms}};
// The second notch extends the first one's glide onto the other mouse's clone.
inline const std::vector<Step> kOneGlideTwoMice = {{0, kNotchDown, 30ms}, {1, kNotchDown, 1000ms}};

// Rows: name, pause, vertical and horizontal v120, vertical and horizontal legacy steps, steps.
// The first four are those a toolkit's window is shown (what_toolkits_show_test.cpp). The pauses
// outlast libinput's 500 ms scroll timeout: each notch after one starts a new scroll,
// whose start libinput holds back until half a detent has come.
inline const std::vector<Scenario> kScenarios = {
    {"OneNotch", 600ms, 120, 0, {-1}, {}, notchesDown(1, 0ms, 800ms)},
    {"ThreeSlowNotches", 600ms, 360, 0, {-1, -1, -1}, {}, notchesDown(3, 800ms, 800ms)},
    {"EightFastNotches", 600ms, 960, 0, std::vector(8, -1), {}, notchesDown(8, 30ms, 1000ms)},
    {"DownUpMidGlideThenUp", 0ms, -120, 0, {-1, 1, 1}, {}, kDownUpUp},
    {"AxisSwitchesMidGlide", 0ms, 240, 120, {-1, -1}, {1}, kDownRightDown},
    {"TwoMiceOneGlide", 600ms, 240, 0, {-1, -1}, {}, kOneGlideTwoMice},
    {"SixtyBursts", 600ms, 90 * 120, 0, std::vector(90, -1), {}, bursts(60)},
    // A fast spin at full acceleration: the first notch goes its own way, each after it six.
    {.name = "TenFastNotchesAccelerated",
     .pause = 600ms,
     .vertical = 55 * 120,
     .verticalSteps = std::vector(55, -1),
     .steps = notchesDown(10, 15ms, 1500ms),
     .acceleration = 1.0},
};

// Runs the row through the program's input path: plugs in its mice, each watched by the reader
// under test, waits out its pause and sends its steps, reading what came all the while.
class ScenarioTest : public GlideTest, public ::testing::WithParamInterface<Scenario> {
protected:
    virtual void watch(TestMouse& mouse) = 0;  // a mouse just plugged in, its clone ready
    virtual void pump() = 0;                   // reads what has come so far

    void run(Clock::duration span) {
        for (const auto end = Clock::now() + span; Clock::now() < end;) {
            std::this_thread::sleep_for(1ms);
            pump();
        }
    }
    // Returns when each step was sent.
    std::vector<Clock::time_point> play() {
        for (const Step& step : GetParam().steps)
            while (mice.size() <= step.mouse) watch(plugIn());
        run(GetParam().pause);
        Preferences::shared().setAcceleration(GetParam().acceleration);
        std::vector<Clock::time_point> sent;
        for (const Step& step : GetParam().steps) {
            sent.push_back(Clock::now());
            mice[step.mouse].send(step.frame);
            run(step.then);
        }
        Preferences::shared().setAcceleration(0.0);
        return sent;
    }
};

// --- Programs the tests run beside the program's input path: a compositor and its clients ---

// The whole of a file; empty when there is none.
std::string contentsOf(const std::string& path);

// A program run with its standard output to the file `out`, and its standard error to `err`
// where one is named; ended with SIGTERM when it goes, unless it was waited for.
class Child {
public:
    Child(const std::vector<std::string>& argv, const std::string& out,
          const std::string& err = "");
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    int wait();  // its exit status; -1 when it could not start or was ended by a signal

private:
    pid_t pid_ = -1;
};

// A desktop in the VM: its compositor on the virtual display, reading the mice through its own
// libinput, with a runtime directory of its own for its sockets, its log and its clients' files.
// The processes it starts end with it, the last started first.
class Desktop {
public:
    virtual ~Desktop() {
        while (!processes_.empty()) processes_.pop_back();
    }
    Desktop(const Desktop&) = delete;
    Desktop& operator=(const Desktop&) = delete;

    // Once clients can connect: by default, once its Wayland socket "glidewheel" is there.
    virtual bool listening() const;
    // By default the first line its program prints for --version.
    virtual std::string version() const;
    // What its clients need to reach it (by default, that socket), and what its session tells
    // the programs in it (which the program judges the desktop by): "NAME=value" each.
    virtual std::vector<std::string> clientEnv() const {
        return {"XDG_RUNTIME_DIR=" + runtime(), "WAYLAND_DISPLAY=glidewheel"};
    }
    const std::vector<std::string>& sessionEnv() const { return sessionEnv_; }
    std::string log() const { return runtime_ + "/desktop.log"; }
    std::string runtime() const { return runtime_; }
    // Whether a process other than this one holds the named device's event node open.
    bool opened(const std::string& deviceName) const;

protected:
    // The desktop's own program, run from this machine's root.
    Desktop(const char* program, std::vector<std::string> sessionEnv);
    void addSessionVariable(std::string variable) { sessionEnv_.push_back(std::move(variable)); }
    // For a compositor that opens its devices through a login manager's D-Bus API, which the VM
    // lacks: a stand-in (login_stub.py) on a private system bus. Returns the bus's address.
    std::string startLoginStub();
    // A session bus of its own, named in the session's environment. Returns its address.
    std::string startSessionBus();
    // Standard error goes to log() unless `err` names another file.
    void start(const std::vector<std::string>& argv, const std::string& out = "/dev/null",
               const std::string& err = "") {
        processes_.push_back(std::make_unique<Child>(argv, out, err.empty() ? log() : err));
    }

private:
    const char* program_;
    std::vector<std::string> sessionEnv_;
    std::string runtime_ = "/tmp/desktop-XXXXXX";
    std::vector<std::unique_ptr<Child>> processes_;
};

// weston 10 (DRM backend, kiosk shell, pixman renderer), run from the VM's own root: a copy of
// this machine's, whose --version names it.
class Weston final : public Desktop {
public:
    static constexpr const char* kPath = "/usr/bin/weston";

    Weston();
};

// sway 1.7 (wlroots 0.15, pixman renderer), run from this machine's root under /host. sway will
// not run as root: it runs as a user of its own, its devices opened for it by seatd.
class Sway final : public Desktop {
public:
    static constexpr const char* kPath = "/usr/bin/sway";

    Sway();
    bool listening() const override { return !socket().empty(); }
    // Where sway answers its IPC, once it is there.
    std::string ipcSocket() const {
        const std::string name = runtimeEntry("sway-ipc.");
        return name.empty() ? name : runtime() + "/" + name;
    }
    // The name sway chose for its Wayland socket, once it is there.
    std::string socket() const { return runtimeEntry("wayland-"); }
    std::vector<std::string> clientEnv() const override {
        return {"XDG_RUNTIME_DIR=" + runtime(), "WAYLAND_DISPLAY=" + socket()};
    }

private:
    std::string runtimeEntry(std::string_view prefix) const;  // a socket's name starting so
};

// KWin 5.27 (DRM backend, QPainter compositing), run from this machine's root under /host, its
// devices opened by the login stub. Its session bus carries its scripting.
class Kwin final : public Desktop {
public:
    static constexpr const char* kPath = "/usr/bin/kwin_wayland";

    explicit Kwin(bool xwayland = false);
};

// mutter 43, GNOME's compositor without its shell (DRM backend, GL through Mesa's software
// rasterizer), run from this machine's root under /host, its devices opened by the login stub.
// It finds its session as libsystemd does, by the record a login manager keeps under /run.
class Mutter final : public Desktop {
public:
    static constexpr const char* kPath = "/usr/bin/mutter";

    Mutter();
};

// Xorg 21 with the modesetting driver on the virtual display and xserver-xorg-input-libinput for
// the mice (found through udev), run from this machine's root under /host, with no window
// manager: X clients (GTK 3 and Qt 6 through XI2) read scroll as the X server's valuators.
class Xorg final : public Desktop {
public:
    static constexpr const char* kPath = "/usr/lib/xorg/Xorg";

    Xorg();
    bool listening() const override;
    std::string version() const override;
    std::vector<std::string> clientEnv() const override { return {"DISPLAY=:7"}; }
};

// Moves the mouse a little at a time until `entered` says its pointer is on the window: back and
// forth in place for a window full screen under a compositor, or into the top left corner, where
// an X server without a window manager puts a window, and where moves that follow keep it.
bool moveOnto(TestMouse& mouse, const std::function<bool()>& entered, bool intoTheCorner = false);

// The VM mounts this machine's root at /host (init), where desktop programs run with this
// machine's own libraries. Why it cannot here, or why this machine's `program` cannot run; empty
// where it can.
std::string noHostRoot(const std::string& program = "");
// The command that runs `argv`, a program of this machine's or one built beside the test binary,
// with the environment `env` added ("NAME=value"): under /host in the VM, directly elsewhere.
std::vector<std::string> hostCommand(const std::vector<std::string>& argv,
                                     const std::vector<std::string>& env = {});
// Where a file built or copied beside the test binary is, as `hostCommand`'s programs see it.
std::string besideTests(const std::string& file);

// --- The virtual display, for tests of what follows it ---

inline constexpr char kCard[] = "/dev/dri/card0";

// Why there is no display to test on; empty when there is one.
inline std::string noDisplay() {
    if (std::filesystem::exists(kCard)) return {};
    // run_vm.sh writes why the VM has none.
    if (std::string why = contentsOf("/display-missing"); !why.empty()) return why;
    return std::string("no ") + kCard + " (the device-test VM loads vkms)";
}

#define SKIP_WITHOUT_DISPLAY() \
    if (const std::string why = noDisplay(); !why.empty()) GTEST_SKIP() << why

// A test compositor: opens the card while no one is its master, so the kernel makes it the
// master, and shows 640x480 at 59.94 Hz (VGA's timing, one of vkms's modes); on command
// drops or takes back master and switches the display off and on. What it tests opens the card
// apart, as a program beside a desktop's compositor does.
class TestCompositor {
public:
    TestCompositor() : card_(adoptFd(open(kCard, O_RDWR | O_CLOEXEC))) {
        const int card = card_.get().fd;
        drmModeRes* resources = card >= 0 ? drmModeGetResources(card) : nullptr;
        for (int i = 0; resources && i < resources->count_connectors && !connector_; ++i) {
            drmModeConnector* c = drmModeGetConnector(card, resources->connectors[i]);
            for (int m = 0; c && c->connection == DRM_MODE_CONNECTED && m < c->count_modes; ++m)
                if (c->modes[m].clock == 25175) mode_ = c->modes[m], connector_ = c->connector_id;
            drmModeFreeConnector(c);
        }
        drm_mode_create_dumb dumb{480, 640, 32, 0, 0, 0, 0};  // height, width, bpp: 640x480x32
        ready_ = connector_ != 0 && drmIsMaster(card) &&
                 drmIoctl(card, DRM_IOCTL_MODE_CREATE_DUMB, &dumb) == 0 &&
                 drmModeAddFB(card, 640, 480, 24, 32, dumb.pitch, dumb.handle, &framebuffer_) == 0;
        if (ready_) crtc_ = resources->crtcs[0];
        drmModeFreeResources(resources);
        ready_ = ready_ && command('n');
    }
    bool ready() const { return ready_; }
    // 'd' drop master, 'm' take it back, 'f' display off, 'n' display on. True when done.
    bool command(char command) {
        const int card = card_.get().fd;
        switch (command) {
            case 'd': return drmDropMaster(card) == 0;
            case 'm': return drmSetMaster(card) == 0;
            case 'f': return drmModeSetCrtc(card, crtc_, 0, 0, 0, nullptr, 0, nullptr) == 0;
            default:
                return drmModeSetCrtc(card, crtc_, framebuffer_, 0, 0, &connector_, 1, &mode_) == 0;
        }
    }

private:
    platform::linuxdesktop::UniqueFd card_;
    std::uint32_t connector_ = 0, crtc_ = 0, framebuffer_ = 0;
    drmModeModeInfo mode_{};
    bool ready_ = false;
};

// One vblank as the kernel numbers and times it.
struct Vblank {
    std::uint32_t sequence;
    Clock::time_point at;
};

// The display's own vblanks, from blocking waits on a descriptor of its own. Under emulation
// the waiting thread now and then wakes too late for the next vblank: the sequence numbers
// show which were missed.
class VblankClock {
public:
    VblankClock() : card_(adoptFd(open(kCard, O_RDWR | O_CLOEXEC))) {}
    std::vector<Vblank> vblanks() {
        std::scoped_lock lock(mutex_);
        return vblanks_;
    }

private:
    void run(std::stop_token stop) {
        while (!stop.stop_requested()) {
            drmVBlank wait{};
            wait.request.type = DRM_VBLANK_RELATIVE;
            wait.request.sequence = 1;
            if (drmWaitVBlank(card_.get().fd, &wait) != 0) return;
            std::scoped_lock lock(mutex_);
            vblanks_.push_back(
                {wait.reply.sequence,
                 Clock::time_point(std::chrono::seconds(wait.reply.tval_sec) +
                                   std::chrono::microseconds(wait.reply.tval_usec))});
        }
    }

    platform::linuxdesktop::UniqueFd card_;
    std::mutex mutex_;
    std::vector<Vblank> vblanks_;
    std::jthread thread_{[this](std::stop_token stop) { run(stop); }};  // last: uses the rest
};

// Display refreshes that saw no frame, and those that saw two or more, by their two vblanks.
struct Judder {
    int refreshes = 0, empty = 0;
    std::vector<std::pair<Vblank, Vblank>> doubled;
};

// Counts the frames between each vblank and the next, over the refreshes between the first and
// the last frame whose two vblanks were both seen.
inline Judder judder(const std::vector<Vblank>& vblanks, std::vector<Clock::time_point> frames) {
    Judder result;
    std::sort(frames.begin(), frames.end());
    if (frames.empty()) return result;
    for (std::size_t i = 0; i + 1 < vblanks.size(); ++i) {
        const Vblank& from = vblanks[i];
        const Vblank& to = vblanks[i + 1];
        if (to.sequence != from.sequence + 1) continue;
        if (from.at < frames.front() || to.at > frames.back()) continue;
        const auto n = std::lower_bound(frames.begin(), frames.end(), to.at) -
                       std::lower_bound(frames.begin(), frames.end(), from.at);
        ++result.refreshes;
        result.empty += n == 0;
        if (n >= 2) result.doubled.emplace_back(from, to);
    }
    return result;
}

}  // namespace glidewheel::devicetest
