// SPDX-License-Identifier: MIT

// What Wayland clients receive: weston runs on the VM's virtual display and reads the clones
// through its own libinput, and a full-screen client (wayland_scroll_client.c) prints every
// pointer scroll frame it gets, while the real tap and interceptor glide on the 60 Hz vblank
// display link at the default settings. Times are the compositor's, taken from the kernel's
// event stamps on the monotonic clock.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>

#include "engine/scroll_interceptor.h"
#include "platform/linux/display/vblank_display_link.h"
#include "platform/sim/sim_platform.h"
#include "tests/device/test_devices.h"

extern char** environ;

namespace glidewheel::devicetest {
namespace {

using namespace std::chrono_literals;
using namespace platform;
using Clock = std::chrono::steady_clock;
using Ms = std::chrono::milliseconds;

constexpr auto kRefresh = 16667us;        // the display link's period at 60 Hz
constexpr auto kEmulationSlack = 10ms;    // the emulated CPU's timer slack, as for libinput
constexpr double kUnitsPerDetent = 10.0;  // weston's surface units per wheel detent
constexpr int kWheelSource = 0;           // WL_POINTER_AXIS_SOURCE_WHEEL
constexpr const char* kWeston = "/usr/bin/weston";
constexpr const char* kCard = "/dev/dri/card0";

const Frame kNotchDown = {{EV_REL, REL_WHEEL, -1}, {EV_REL, REL_WHEEL_HI_RES, -120}};
const Frame kNotchUp = {{EV_REL, REL_WHEEL, 1}, {EV_REL, REL_WHEEL_HI_RES, 120}};
const Frame kNotchRight = {{EV_REL, REL_HWHEEL, 1}, {EV_REL, REL_HWHEEL_HI_RES, 120}};

// A program run with its output to `out`, ended with SIGTERM when it goes.
class Child {
public:
    Child(const std::vector<std::string>& argv, int out) {
        std::vector<char*> args;
        for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
        args.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out, STDOUT_FILENO);
        if (posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~Child() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    bool running() const { return pid_ > 0 && waitpid(pid_, nullptr, WNOHANG) == 0; }

private:
    pid_t pid_ = -1;
};

// One scroll frame as the client printed it; index 0 vertical, 1 horizontal.
struct ScrollFrame {
    Clock::time_point at;
    int source = -1;
    double axis[2] = {};
    int v120[2] = {};  // detents in 120ths
};

// The client's output lines, read as they come.
struct ClientOutput {
    void pump(int fd) {
        char buffer[4096];
        for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) partial.append(buffer, n);
        for (std::size_t end; (end = partial.find('\n')) != std::string::npos;) {
            const std::string line = partial.substr(0, end);
            partial.erase(0, end + 1);
            ScrollFrame f;
            long long ms = 0;
            entered = entered || line == "enter";
            std::sscanf(line.c_str(), "seat %d", &seatVersion);
            if (std::sscanf(line.c_str(), "frame %lld %d %lf %lf %d %d", &ms, &f.source, &f.axis[0],
                            &f.axis[1], &f.v120[0], &f.v120[1]) != 6)
                continue;
            f.at = Clock::time_point(Ms(ms));
            frames.push_back(f);
        }
    }

    int seatVersion = 0;
    bool entered = false;
    std::vector<ScrollFrame> frames;
    std::string partial;
};

struct Notch {
    int mouse;
    Frame frame;
    Ms then;  // how long to run after it
};
struct Scenario {
    const char* name;
    std::vector<Notch> notches;
    int down, right;  // the detents the client should scroll
};

std::vector<Notch> fastNotches(int count) {
    return std::vector<Notch>(count, {0, kNotchDown, 30ms});
}

const Scenario kScenarios[] = {
    {"one notch", {{0, kNotchDown, 0ms}}, 1, 0},
    {"three slow notches",
     {{0, kNotchDown, 800ms}, {0, kNotchDown, 800ms}, {0, kNotchDown, 0ms}},
     3,
     0},
    {"eight fast notches", fastNotches(8), 8, 0},
    {"down, up mid-glide, up",
     {{0, kNotchDown, 100ms}, {0, kNotchUp, 1500ms}, {0, kNotchUp, 0ms}},
     -1,
     0},
    {"horizontal", {{0, kNotchRight, 0ms}}, 0, 1},
    {"two mice", {{0, kNotchDown, 30ms}, {1, kNotchDown, 0ms}}, 2, 0},
};

std::string contentsOf(const std::string& path) {
    std::ostringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
}

// The real tap and interceptor with weston and the client; two mice, taken before weston starts
// so that its libinput opens their clones at once.
class WaylandClients : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        if (IsSkipped()) return;
        if (access(kWeston, X_OK) != 0) GTEST_SKIP() << "no weston (scripts/deps test installs it)";
        if (access(kCard, R_OK) != 0) GTEST_SKIP() << "no " << kCard << " (the VM loads vkms)";
        tap = taps.createTap(kCGAnnotatedSessionEventTap, kCGTailAppendEventTap,
                             kCGEventTapOptionDefault, CGEventMaskBit(kCGEventScrollWheel),
                             &WaylandClients::onWheel, this);
        ASSERT_TRUE(tap);
        source = taps.createRunLoopSource(*tap);
        source->addToMainRunLoop();
        for (int i = 0; i < 2; ++i) {
            mice.push_back(
                std::make_unique<TestMouse>("glidewheel wayland mouse " + std::to_string(i + 1)));
            ASSERT_TRUE(waitUntil([&] { return isTaken(*mice.back()); }, pause));
        }
    }
    void TearDown() override {
        client.reset();
        weston.reset();
        if (tap) tap->setEnabled(false);
        interceptor.smoothScroller().stop();
        source.reset();
        tap.reset();
    }

    static Event* onWheel(EventTapProxy proxy, EventType type, Event* event, void* self) {
        auto& test = *static_cast<WaylandClients*>(self);
        {
            std::scoped_lock guard(test.handOffsMutex);
            test.handOffs.push_back(Clock::now());
        }
        return test.interceptor.handleTapEvent(proxy, type, event);
    }
    bool isTaken(const TestMouse& mouse) const {
        for (const auto& held : taps.takenDevices())
            if (held.devnode == mouse.eventNode() && held.grabbed) return true;
        return false;
    }
    // Runs weston on the virtual display and the client on it, its pointer on the surface.
    void startSession() {
        char runtime[] = "/tmp/wayland-XXXXXX";
        ASSERT_NE(mkdtemp(runtime), nullptr);
        setenv("XDG_RUNTIME_DIR", runtime, 1);
        setenv("WAYLAND_DISPLAY", "glidewheel", 1);
        const std::string log = std::string(runtime) + "/weston.log";
        weston = std::make_unique<Child>(
            std::vector<std::string>{kWeston, "--backend=drm-backend.so", "--use-pixman",
                                     "--shell=kiosk-shell.so", "--tty=1", "--idle-time=0",
                                     "--socket=glidewheel", "--no-config", "--log=" + log},
            STDERR_FILENO);
        const std::string socket = std::string(runtime) + "/glidewheel";
        const auto listening = [&] { return access(socket.c_str(), F_OK) == 0; };
        waitUntil([&] { return listening() || !weston->running(); }, pause);
        ASSERT_TRUE(listening()) << "weston did not start:\n" << contentsOf(log);
        int fds[2];
        ASSERT_EQ(pipe2(fds, O_CLOEXEC | O_NONBLOCK), 0);
        clientOutput = linuxdesktop::adoptFd(fds[0]);
        client = std::make_unique<Child>(
            std::vector<std::string>{std::filesystem::read_symlink("/proc/self/exe")
                                         .replace_filename("wayland-scroll-client")},
            fds[1]);
        close(fds[1]);
        // The pointer enters the surface when it next moves.
        ASSERT_TRUE(waitUntil(
            [&] {
                mice[0]->send({{EV_REL, REL_X, 4}});
                output.pump(clientOutput.get().fd);
                return output.entered;
            },
            [] { std::this_thread::sleep_for(50ms); }))
            << "the client's pointer never entered; weston says:\n"
            << contentsOf(log);
        const std::string said = contentsOf(log), name = "] weston ";
        const std::size_t at = said.find(name) + 2;
        std::printf("wayland: compositor %s, wl_seat version %d\n",
                    said.substr(at, said.find('\n', at) - at).c_str(), output.seatVersion);
    }
    void run(Clock::duration span) {
        for (const auto end = Clock::now() + span; Clock::now() < end;) {
            std::this_thread::sleep_for(1ms);
            output.pump(clientOutput.get().fd);
        }
    }
    Services realTapAndLink() {
        Services services = sim.services();
        services.eventTaps = &taps;
        services.displayLinks = &links;
        return services;
    }
    Clock::time_point firstHandOffAfter(Clock::time_point start) {
        std::scoped_lock guard(handOffsMutex);
        for (const auto at : handOffs)
            if (at >= start) return at;
        return Clock::time_point::max();
    }

    linuxdesktop::EvdevEventTapService taps;
    linuxdesktop::VblankDisplayLinkService links{[] { return 60.0; }};
    sim::SimPlatform sim;  // trust, settings at their defaults
    Preferences preferences{sim.userDefaults, sim.loginItems};
    ScrollInterceptor interceptor{realTapAndLink(), preferences};
    std::unique_ptr<EventTap> tap;
    std::unique_ptr<RunLoopSource> source;
    std::vector<std::unique_ptr<TestMouse>> mice;
    std::unique_ptr<Child> weston, client;
    linuxdesktop::UniqueFd clientOutput;
    ClientOutput output;
    std::mutex handOffsMutex;
    std::vector<Clock::time_point> handOffs;  // when the interceptor took each notch
};

TEST_F(WaylandClients, ScrollOneDetentPerNotchFromTheWheelAtMostOnceARefresh) {
    ASSERT_NO_FATAL_FAILURE(startSession());
    for (const Scenario& scenario : kScenarios) {
        SCOPED_TRACE(scenario.name);
        run(600ms);  // a pause: each scenario starts a new scroll
        const std::size_t from = output.frames.size();
        const auto start = Clock::now();
        for (const Notch& notch : scenario.notches) {
            mice[notch.mouse]->send(notch.frame);
            run(notch.then);
        }
        run(1500ms);  // the glide and its settling
        const std::vector<ScrollFrame> got(output.frames.begin() + from, output.frames.end());
        ASSERT_FALSE(got.empty());
        int v120[2] = {};
        double axis[2] = {};
        auto closest = Clock::duration::max();
        for (std::size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].source, kWheelSource) << i;
            for (int a : {0, 1}) v120[a] += got[i].v120[a], axis[a] += got[i].axis[a];
            if (i > 0) closest = std::min(closest, got[i].at - got[i - 1].at);
        }
        EXPECT_EQ(std::make_pair(v120[0], v120[1]),
                  std::make_pair(120 * scenario.down, 120 * scenario.right));
        EXPECT_EQ(std::make_pair(axis[0], axis[1]),
                  std::make_pair(kUnitsPerDetent * scenario.down,
                                 kUnitsPerDetent * scenario.right));
        EXPECT_GE(closest, kRefresh - kEmulationSlack) << "two axis frames in one refresh";
        // A seat of version 8 gets each glide frame; an older one whole detents only, each
        // with the clone's legacy step, which completes within the glide (21 frames).
        const auto firstAllowed =
            output.seatVersion >= 8 ? kRefresh + kEmulationSlack : 21 * kRefresh + 100ms;
        const auto first = got.front().at - firstHandOffAfter(start);
        EXPECT_LE(first, firstAllowed);
        const auto ms = [](auto span) {
            return static_cast<long long>(std::chrono::duration_cast<Ms>(span).count());
        };
        std::printf(
            "wayland: %s: %zu frames, v120 %d/%d, axis %g/%g, first after %lld ms, "
            "closest %lld ms apart\n",
            scenario.name, got.size(), v120[0], v120[1], axis[0], axis[1], ms(first),
            got.size() > 1 ? ms(closest) : -1LL);
    }
}

}  // namespace
}  // namespace glidewheel::devicetest
