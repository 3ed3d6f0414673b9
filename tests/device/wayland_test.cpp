// SPDX-License-Identifier: MIT

// What Wayland clients receive: weston runs on the VM's virtual display and reads the clones
// through its own libinput, and a full-screen client (wayland_scroll_client.c) prints every
// pointer scroll frame it gets, while each scenario row runs through the program's input path.
// Times are the compositor's, taken from the kernel's event stamps on the monotonic clock.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/linux/input/devices/device_classification.h"
#include "tests/device/test_devices.h"

extern char** environ;

namespace glidewheel::devicetest {
namespace {

using platform::linuxdesktop::cloneName;

constexpr double kUnitsPerDetent = 10.0;  // weston's surface units per wheel detent
constexpr int kWheelSource = 0;           // WL_POINTER_AXIS_SOURCE_WHEEL
constexpr const char* kWeston = "/usr/bin/weston";
// A seat before version 8 gives clients whole detents only, each when libinput sees the clone's
// legacy step, which comes halfway through a detent: with the glide's raised first post.
std::string contentsOf(const std::string& path) {
    std::ostringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
}

// A program run with its standard output to the file `out`, ended with SIGTERM when it goes.
class Child {
public:
    Child(const std::vector<std::string>& argv, const std::string& out) {
        std::vector<char*> args;
        for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
        args.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
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

private:
    pid_t pid_ = -1;
};

// One scroll frame as the client printed it; index 0 vertical, 1 horizontal.
struct ScrollFrame {
    Clock::time_point at;
    int source = -1, v120[2] = {};  // v120: detents in 120ths
    double axis[2] = {};
};

// What the client has printed so far.
struct ClientSaid {
    int seatVersion = 0;
    bool focused = false;  // the pointer is on its surface
    std::vector<ScrollFrame> frames;

    explicit ClientSaid(const std::string& path) {
        std::istringstream lines(contentsOf(path));
        for (std::string line; std::getline(lines, line);) {
            ScrollFrame f;
            long long ms = 0;
            focused = line == "enter" || (focused && line != "leave");
            std::sscanf(line.c_str(), "seat %d", &seatVersion);
            if (std::sscanf(line.c_str(), "frame %lld %d %lf %lf %d %d", &ms, &f.source, &f.axis[0],
                            &f.axis[1], &f.v120[0], &f.v120[1]) != 6)
                continue;
            f.at = Clock::time_point(std::chrono::milliseconds(ms));
            frames.push_back(f);
        }
    }
};

// weston on the virtual display and the client on it, for the whole suite: the mice of each row
// come and go under them.
class WhatWaylandClientsReceive : public ScenarioTest {
protected:
    static void TearDownTestSuite() { client.reset(), weston.reset(); }
    void SetUp() override {
        ScenarioTest::SetUp();
        if (IsSkipped()) return;
        if (access(kWeston, X_OK) != 0) GTEST_SKIP() << "no weston (scripts/deps test installs it)";
        if (const std::string why = noDisplay(); !why.empty()) GTEST_SKIP() << why;
        if (!client) startSession();  // its failures end the test here
    }
    void startSession() {
        ASSERT_NE(mkdtemp(runtime.data()), nullptr);
        setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
        setenv("WAYLAND_DISPLAY", "glidewheel", 1);
        setenv("WESTON_LIBINPUT_LOG_PRIORITY", "info", 1);  // it logs each device it opens
        weston = std::make_unique<Child>(
            std::vector<std::string>{kWeston, "--backend=drm-backend.so", "--use-pixman",
                                     "--shell=kiosk-shell.so", "--tty=1", "--idle-time=0",
                                     "--socket=glidewheel", "--no-config", "--log=" + log()},
            "/dev/null");
        const std::string socket = runtime + "/glidewheel";
        const auto listening = [&] { return access(socket.c_str(), F_OK) == 0; };
        ASSERT_TRUE(waitUntil(listening)) << "weston did not start:\n" << contentsOf(log());
        const auto self = std::filesystem::read_symlink("/proc/self/exe");
        client = std::make_unique<Child>(std::vector<std::string>{self.parent_path() /
                                                                  "wayland-scroll-client"},
                                         said());
        ASSERT_TRUE(waitUntil([&] { return ClientSaid(said()).seatVersion > 0; }));
    }
    // Waits until weston has opened the clone, then puts the pointer on the client's surface.
    void watch(TestMouse& mouse) override {
        const std::string opened = cloneName(mouse.name()) + ": device is a pointer";
        if (!waitUntil([&] { return contentsOf(log()).find(opened) != std::string::npos; }))
            throw std::runtime_error("weston did not open the clone:\n" + contentsOf(log()));
        if (!waitUntil(
                [&] {
                    return mouse.send({{EV_REL, REL_X, 4}}), ClientSaid(said()).focused;
                },
                [] { std::this_thread::sleep_for(50ms); }))
            throw std::runtime_error("the client's pointer never entered");
    }
    void pump() override {}  // the client's lines wait in their file
    static std::string log() { return runtime + "/weston.log"; }
    static std::string said() { return runtime + "/client.out"; }

    static inline std::string runtime = "/tmp/wayland-XXXXXX";
    static inline std::unique_ptr<Child> weston, client;
};

TEST_P(WhatWaylandClientsReceive, DetentsFromTheWheelAtMostOnceARefresh) {
    const std::size_t from = ClientSaid(said()).frames.size();
    const std::vector<Clock::time_point> sent = play();
    const ClientSaid now(said());
    const std::vector<ScrollFrame> got(now.frames.begin() + from, now.frames.end());
    ASSERT_FALSE(got.empty());
    int v120[2] = {};
    double axis[2] = {};
    auto closest = Clock::duration::max();
    for (std::size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].source, kWheelSource) << i;
        for (int a : {0, 1}) v120[a] += got[i].v120[a], axis[a] += got[i].axis[a];
        if (i > 0) closest = std::min(closest, got[i].at - got[i - 1].at);
    }
    const Scenario& row = GetParam();
    EXPECT_EQ(std::make_pair(v120[0], v120[1]),
              std::make_pair(static_cast<int>(row.vertical), static_cast<int>(row.horizontal)));
    EXPECT_EQ(std::make_pair(axis[0], axis[1]),
              std::make_pair(kUnitsPerDetent * row.vertical / 120,
                             kUnitsPerDetent * row.horizontal / 120));
    EXPECT_GE(closest, kRefresh - kEmulationSlack) << "two axis frames in one refresh";
    EXPECT_LE(got.front().at - sent.front(), kRefresh + kEmulationSlack);
}

INSTANTIATE_TEST_SUITE_P(Scenarios, WhatWaylandClientsReceive, ::testing::ValuesIn(kScenarios),
                         [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace glidewheel::devicetest
