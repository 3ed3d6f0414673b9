// SPDX-License-Identifier: MIT

// What a person sees: a window of a real toolkit (GTK 3, Qt 6), full screen on a desktop in the
// VM, prints its scroll offsets as they change (gtk3_scroll_client.c, qt6_scroll_client.cpp)
// while each scenario row runs twice: once with plain mice that the desktop reads directly (the
// control), once through the program's input path. The two are compared notch for notch: how
// often the window moves, how far, and when, on the VM's monotonic clock.
//
// The windows run with this machine's own libraries, fonts and settings, from its root mounted
// in the VM (init, run_vm.sh).

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <sstream>
#include <string_view>

#include "platform/linux/input/devices/device_classification.h"
#include "tests/device/test_devices.h"

namespace glidewheel::devicetest {
namespace {

using platform::linuxdesktop::cloneName;

// A desktop, and the fewest window moves per notch it lets the program's glide make: where it
// passes on only whole detents, the glide's smaller steps never reach a window.
struct Desktop {
    const char* name;
    int changesPerNotch;
};
// Offers wl_seat version 7 (no axis_value120) and passes on libinput's whole-detent wheel events.
constexpr Desktop kWeston10{"weston", 1};

// A toolkit's window: the client built beside the test binary, the environment it runs in, and
// by how many refreshes its own paint timing may move a first paint between two runs. The
// program's first post waits for a vblank and so reaches the compositor just after its repaint
// began, one refresh later than a plain mouse's notch, which comes at any moment; a toolkit that
// paints at its frame clock's next frame, after the compositor's frame callback, may then wait a
// whole refresh more (GTK 3 paints a notch 2 to 4 refreshes after it in the VM, Qt 6 at once).
struct Toolkit {
    const char* name;
    const char* client;
    std::vector<std::string> env;
    int paintJitter;  // refreshes
};
// No accessibility bus, no settings daemon in the VM: GTK would wait on them.
const Toolkit kGtk3{"gtk3",
                    "gtk3-scroll-client",
                    {"GDK_BACKEND=wayland", "NO_AT_BRIDGE=1", "GSETTINGS_BACKEND=memory"},
                    1};
const Toolkit kQt6{"qt6",
                   "qt6-scroll-client",
                   {"QT_QPA_PLATFORM=wayland", "QT_WAYLAND_DISABLE_WINDOWDECORATION=1"},
                   0};

// The window's offsets, in pixels, after one change.
struct Offsets {
    Clock::time_point at;
    double vertical = 0, horizontal = 0;
};

// What the window has printed so far.
struct WindowSaid {
    bool ready = false, focused = false;
    std::vector<Offsets> offsets;

    explicit WindowSaid(const std::string& out) {
        std::istringstream lines(contentsOf(out));
        for (std::string line; std::getline(lines, line);) {
            ready = ready || line == "ready";
            focused = line == "enter" || (focused && line != "leave");
            long long us = 0;
            Offsets o;
            if (std::sscanf(line.c_str(), "scroll %lld %lf %lf", &us, &o.vertical, &o.horizontal) ==
                3)
                offsets.push_back(
                    {Clock::time_point(std::chrono::microseconds(us)), o.vertical, o.horizontal});
        }
    }
};

// The version of `global` a client bound, from the Wayland library's debug lines
// (WAYLAND_DEBUG=client): -> wl_registry@2.bind(7, "wl_seat", 7, new id [unknown]@12)
int boundVersion(const std::string& debugLines, const std::string& global) {
    const std::string bound = contentsOf(debugLines), name = '"' + global + "\", ";
    const std::size_t at = bound.find(name);
    return at == std::string::npos ? 0 : std::stoi(bound.substr(at + name.size()));
}

// How the window moved for one run of a row: counted from the first notch on.
struct Moves {
    int changes = 0;
    double vertical = 0, horizontal = 0;  // px
    Milliseconds first{}, last{};         // the first change after the first notch, the last
                                          // after the last notch
    Milliseconds closest{1e9};            // between two changes; when there were two
};

Moves movesSince(const std::vector<Offsets>& offsets, std::size_t from,
                 const std::vector<Clock::time_point>& sent) {
    Moves moves;
    if (from == 0 || from >= offsets.size()) return moves;  // no start to count from, or no move
    const Offsets& start = offsets[from - 1];
    moves.changes = static_cast<int>(offsets.size() - from);
    moves.vertical = offsets.back().vertical - start.vertical;
    moves.horizontal = offsets.back().horizontal - start.horizontal;
    moves.first = offsets[from].at - sent.front();
    moves.last = offsets.back().at - sent.back();
    for (std::size_t i = from + 1; i < offsets.size(); ++i)
        moves.closest = std::min<Milliseconds>(moves.closest, offsets[i].at - offsets[i - 1].at);
    return moves;
}

// The rows a window is shown: one notch, slow and fast series, and a turn mid-glide.
std::vector<Scenario> toolkitRows() {
    std::vector<Scenario> rows;
    for (const std::string_view name :
         {"OneNotch", "ThreeSlowNotches", "EightFastNotches", "DownUpMidGlideThenUp"})
        for (const Scenario& row : kScenarios)
            if (row.name == name) rows.push_back(row);
    return rows;
}

// weston and one toolkit's window on it for the whole suite; each row's mice come and go.
class WhatToolkitsShow : public ScenarioTest {
protected:
    static constexpr auto kStartLimit = std::chrono::seconds(120);  // a toolkit under emulation

    static void TearDownTestSuite() { window.reset(), weston.reset(); }
    virtual const Toolkit& toolkit() const = 0;
    void SetUp() override {
        ScenarioTest::SetUp();
        if (IsSkipped()) return;
        if (access(Weston::kPath, X_OK) != 0)
            GTEST_SKIP() << "no weston (scripts/deps test installs it)";
        if (const std::string why = noDisplay(); !why.empty()) GTEST_SKIP() << why;
        if (const std::string why = noHostRoot(); !why.empty()) GTEST_SKIP() << why;
        if (!window) startSession();  // its failures end the test here
    }
    void startSession() {
        weston = std::make_unique<Weston>();
        ASSERT_TRUE(waitUntil([] { return weston->listening(); })) << "weston did not start:\n"
                                                                   << contentsOf(weston->log());
        std::vector<std::string> env = toolkit().env;
        env.push_back("WAYLAND_DEBUG=client");  // names the globals it binds, at what version
        const auto started = Clock::now();
        window =
            std::make_unique<Child>(clientCommand(toolkit().client, env), outFile(), debugFile());
        const auto slowly = [] { std::this_thread::sleep_for(100ms); };  // leave it the CPU
        ASSERT_TRUE(waitUntil([&] { return said().ready; }, slowly, kStartLimit))
            << toolkit().client << " did not show its window:\n"
            << contentsOf(debugFile()).substr(0, 4000);
        std::printf("toolkit: %s %s: %s, wl_seat version %d, the window shown in %.1f s\n",
                    kWeston10.name, toolkit().name, weston->version().c_str(),
                    boundVersion(debugFile(), "wl_seat"),
                    std::chrono::duration<double>(Clock::now() - started).count());
    }
    // Waits until weston has opened the mouse (or its clone), then puts the pointer on the window.
    void watch(TestMouse& mouse) override {
        const std::string name = intercepting() ? cloneName(mouse.name()) : mouse.name();
        if (!waitUntil([&] { return weston->opened(name); }))
            throw std::runtime_error("weston did not open " + name + ":\n" +
                                     contentsOf(weston->log()));
        if (!moveOnto(mouse, [&] { return said().focused; }))
            throw std::runtime_error("the window's pointer never entered");
    }
    void pump() override {}  // the window's lines wait in their file

    Moves playAndMeasure() {
        const std::size_t from = said().offsets.size();
        const std::vector<Clock::time_point> sent = play();
        return movesSince(said().offsets, from, sent);
    }
    // Plays the row with plain mice, then through the program, and compares what the window did.
    void compareWithControl(const Desktop& desktop);

    static std::string outFile() { return weston->runtime() + "/window.out"; }
    static std::string debugFile() { return weston->runtime() + "/window.wayland-debug"; }
    static WindowSaid said() { return WindowSaid(outFile()); }

    static inline std::unique_ptr<Weston> weston;
    static inline std::unique_ptr<Child> window;
};

void WhatToolkitsShow::compareWithControl(const Desktop& desktop) {
    const Scenario& row = GetParam();
    setIntercepting(false);
    const Moves control = playAndMeasure();
    setIntercepting(true);
    const Moves program = playAndMeasure();
    const auto notches = static_cast<double>(row.steps.size());
    const std::string closest =
        program.changes > 1 ? std::to_string(std::lround(program.closest.count())) + " ms" : "-";
    std::printf(
        "toolkit: %s %s %s: %d changes (%.1f a notch), %g/%g px, the first %.0f ms after the "
        "notch, the last %.0f ms after the last, closest two %s apart; control: %d changes, "
        "%g/%g px, the first %.0f ms, the last %.0f ms\n",
        desktop.name, toolkit().name, row.name, program.changes, program.changes / notches,
        program.vertical, program.horizontal, program.first.count(), program.last.count(),
        closest.c_str(), control.changes, control.vertical, control.horizontal,
        control.first.count(), control.last.count());
    ASSERT_GT(control.changes, 0) << "the window did not move for the plain mouse";
    EXPECT_NEAR(program.vertical, control.vertical, notches) << "px: at most 1 off a notch";
    EXPECT_NEAR(program.horizontal, control.horizontal, notches) << "px: at most 1 off a notch";
    EXPECT_GE(program.changes, desktop.changesPerNotch * notches);
    EXPECT_GE(program.closest, kRefresh - kEmulationSlack) << "two moves in one refresh";
    EXPECT_LE(program.first,
              control.first + (1 + toolkit().paintJitter) * kRefresh + kEmulationSlack);
}

class WhatGtk3Shows : public WhatToolkitsShow {
    const Toolkit& toolkit() const override { return kGtk3; }
};
class WhatQt6Shows : public WhatToolkitsShow {
    const Toolkit& toolkit() const override { return kQt6; }
};

TEST_P(WhatGtk3Shows, UnderWestonAsWithThePlainMouseNoLater) { compareWithControl(kWeston10); }
TEST_P(WhatQt6Shows, UnderWestonAsWithThePlainMouseNoLater) { compareWithControl(kWeston10); }

const auto rowName = [](const auto& row) { return std::string(row.param.name); };
INSTANTIATE_TEST_SUITE_P(Scenarios, WhatGtk3Shows, ::testing::ValuesIn(toolkitRows()), rowName);
INSTANTIATE_TEST_SUITE_P(Scenarios, WhatQt6Shows, ::testing::ValuesIn(toolkitRows()), rowName);

}  // namespace
}  // namespace glidewheel::devicetest
