// SPDX-License-Identifier: MIT

// What a person sees: a window of a real toolkit (GTK 3, Qt 6), full screen on a desktop in the
// VM, prints its scroll offsets as they change (gtk3_scroll_client.c, qt6_scroll_client.cpp)
// while each scenario row runs twice: once with plain mice that the desktop reads directly (the
// control), once through the program's input path. The two are compared notch for notch: how
// often the window moves, how far, and when, on the VM's monotonic clock.
//
// The windows run with this machine's own libraries, fonts and settings, from its root mounted
// in the VM (init, run_vm.sh).

#include <cmath>
#include <cstdio>
#include <sstream>

#include "platform/linux/desktop/wheel_reception.h"
#include "platform/linux/input/devices/device_classification.h"
#include "tests/device/test_devices.h"

namespace glidewheel::devicetest {
namespace {

using platform::linuxdesktop::cloneName;

// A desktop the windows are shown on. On an X server without a window manager, a window sits
// in the top left corner, and GTK 3 and Qt 6 (through XI2) take a new device's first scroll or
// two as the base of the ones after it: they move nothing. So there each mouse scrolls until the
// window has moved once before its row is measured.
struct DesktopKind {
    const char* name;
    const char* path;
    std::unique_ptr<Desktop> (*make)();
    bool isX11 = false;
};
template <typename D>
std::unique_ptr<Desktop> make() {
    return std::make_unique<D>();
}
const DesktopKind kWeston10{"weston", Weston::kPath, &make<Weston>};
const DesktopKind kSway17{"sway", Sway::kPath, &make<Sway>};
const DesktopKind kKwin527{"kwin", Kwin::kPath, &make<Kwin>};
const DesktopKind kXorg21{"xorg", Xorg::kPath, &make<Xorg>, true};
const DesktopKind kMutter43{"mutter", Mutter::kPath, &make<Mutter>};

// How a glide reaches a window on a desktop, which the window's moves are checked against.
enum class Glide {
    // In fractions of a detent, a move at most refreshes: the glide a person should see.
    inFractions,
    // As whole detents, each at the glide's first refresh, as a plain wheel's: weston 10 and
    // sway 1.7 offer wl_seat 7 and pass on only libinput's whole-detent wheel events; mutter 43
    // sends clients bound before version 8 a detent once half of one has come.
    asWholeDetents,
    // As whole detents, each once 120 units have built up, some 300 ms after the notch: KWin
    // 5.27 to clients bound to wl_seat before version 8 (GTK 3.24 binds 5, Qt 6.4 binds 7).
    // The program must leave the mice alone there.
    heldBack,
};

bool leavesMiceAlone(const Desktop& desktop) {
    return platform::linuxdesktop::wheelReceptionOf([&](const char* name) -> const char* {
               const std::string prefix = std::string(name) + '=';
               for (const std::string& variable : desktop.sessionEnv())
                   if (variable.starts_with(prefix)) return variable.c_str() + prefix.size();
               return nullptr;
           })
        .holdsPartialDetents;
}

// A toolkit's window: the client built beside the test binary, the environment it runs in, and
// by how many refreshes its own paint timing may move a first paint between two runs. The
// program's first post waits for a vblank and so reaches the compositor just after its repaint
// began, one refresh later than a plain mouse's notch, which comes at any moment; a toolkit that
// paints at its frame clock's next frame, after the compositor's frame callback, may then wait
// as long as its paints spread (GTK 3 paints a plain notch 2 to 4 refreshes after it in the VM,
// Qt 6 at once).
struct Toolkit {
    const char* name;
    std::vector<std::string> command;  // the client beside the test binary, and its arguments
    std::vector<std::string> env;
    int paintJitter;  // refreshes
};
const Toolkit kGtk3{"gtk3", {"gtk3-scroll-client"}, {"GDK_BACKEND=wayland"}, 2};
const Toolkit kQt6{"qt6",
                   {"qt6-scroll-client"},
                   {"QT_QPA_PLATFORM=wayland", "QT_WAYLAND_DISABLE_WINDOWDECORATION=1"},
                   0};
// The same windows as X clients.
const Toolkit kGtk3X11{"gtk3-x11", {"gtk3-scroll-client"}, {"GDK_BACKEND=x11"}, 1};
const Toolkit kQt6X11{"qt6-x11", {"qt6-scroll-client"}, {"QT_QPA_PLATFORM=xcb"}, 0};
// A bare wl_pointer client bound at wl_seat 8 or 7, its offset the sum of the axis values.
const Toolkit kRaw8{"raw8", {"wayland-scroll-client", "8"}, {}, 0};
const Toolkit kRaw7{"raw7", {"wayland-scroll-client", "7"}, {}, 0};

// The window's offsets, in pixels, after one change.
struct Offsets {
    Clock::time_point at;
    double vertical = 0, horizontal = 0;
};

// What the window has printed so far.
struct WindowSaid {
    bool ready = false, focused = false;
    int crossings = 0;  // the pointer's comings and goings
    std::vector<Offsets> offsets;

    explicit WindowSaid(const std::string& out) {
        std::istringstream lines(contentsOf(out));
        for (std::string line; std::getline(lines, line);) {
            ready = ready || line == "ready";
            focused = line == "enter" || (focused && line != "leave");
            crossings += line == "enter" || line == "leave";
            long long us = 0;
            double vertical = 0, horizontal = 0;
            if (std::sscanf(line.c_str(), "scroll %lld %lf %lf", &us, &vertical, &horizontal) == 3)
                offsets.push_back(
                    {Clock::time_point(std::chrono::microseconds(us)), vertical, horizontal});
        }
    }
};

// The version of `global` a client bound, from the Wayland library's debug lines
// (WAYLAND_DEBUG=client): -> wl_registry@2.bind(7, "wl_seat", 7, new id [unknown]@12), not the
// compositor's offer before it: wl_registry@2.global(7, "wl_seat", 8)
int boundVersion(const std::string& debugLines, const std::string& global) {
    std::istringstream lines(contentsOf(debugLines));
    const std::string name = '"' + global + "\", ";
    for (std::string line; std::getline(lines, line);)
        if (const std::size_t at = line.find(name);
            at != std::string::npos && line.find(".bind(") != std::string::npos)
            return std::stoi(line.substr(at + name.size()));
    return 0;
}

// How the window moved for one run of a row: counted from the first notch on.
struct Moves {
    int changes = 0;
    double vertical = 0, horizontal = 0;  // px
    Milliseconds first{}, last{};         // the first change after the first notch, the last
                                          // after the last notch
    Milliseconds span{};                  // from the first notch to the last change
    Milliseconds closest{1e9};            // between two changes; when there were two
    int crossings = 0;                    // the pointer left or entered the window
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
    moves.span = offsets.back().at - sent.front();
    for (std::size_t i = from + 1; i < offsets.size(); ++i)
        moves.closest = std::min<Milliseconds>(moves.closest, offsets[i].at - offsets[i - 1].at);
    return moves;
}

// The rows a window is shown, the first four: one notch, slow and fast series, and a turn
// mid-glide.
const std::vector<Scenario> kToolkitRows(kScenarios.begin(), kScenarios.begin() + 4);

// A desktop and one toolkit's window on it for the whole suite; each row's mice come and go.
class WhatToolkitsShow : public ScenarioTest {
protected:
    static constexpr auto kStartLimit = std::chrono::seconds(120);  // a toolkit under emulation

    static void TearDownTestSuite() { window.reset(), desktop.reset(), standing.reset(); }
    virtual const DesktopKind& desktopKind() const = 0;
    virtual const Toolkit& toolkit() const = 0;
    virtual Glide glideReaches() const = 0;
    void SetUp() override {
        ScenarioTest::SetUp();
        if (IsSkipped()) return;
        const std::string why = noHostRoot(desktopKind().path) + noDisplay();
        if (!why.empty()) GTEST_SKIP() << why;
        if (!window) startSession();  // its failures end the test here
    }
    void startSession() {
        standing =
            std::make_unique<TestMouse>("glidewheel standing pointer", TestMouse::Kind::wheelless);
        desktop = desktopKind().make();
        ASSERT_TRUE(waitUntil([] { return desktop->listening(); }, pause, kStartLimit))
            << desktopKind().name << " did not start:\n"
            << contentsOf(desktop->log());
        std::vector<std::string> env = desktop->clientEnv();
        env.insert(env.end(), toolkit().env.begin(), toolkit().env.end());
        // No accessibility bus, no settings daemon in the VM: GTK would wait on them. The Wayland
        // library's debug lines name the globals the window binds, at what version.
        env.insert(env.end(),
                   {"NO_AT_BRIDGE=1", "GSETTINGS_BACKEND=memory", "WAYLAND_DEBUG=client"});
        std::vector<std::string> command = toolkit().command;
        command.front() = besideTests(command.front());
        const auto started = Clock::now();
        window = std::make_unique<Child>(hostCommand(command, env), outFile(), debugFile());
        const auto slowly = [] { std::this_thread::sleep_for(100ms); };  // leave it the CPU
        ASSERT_TRUE(waitUntil([&] { return said().ready; }, slowly, kStartLimit))
            << command.front() << " did not show its window:\n"
            << contentsOf(debugFile()).substr(0, 4000) << contentsOf(desktop->log());
        std::printf("toolkit: %s %s: %s, wl_seat version %d, the window shown in %.1f s\n",
                    desktopKind().name, toolkit().name, desktop->version().c_str(),
                    boundVersion(debugFile(), "wl_seat"),
                    std::chrono::duration<double>(Clock::now() - started).count());
        warmUp();
    }
    // One notch of a plain mouse until the window moves: KWin passed nothing of the first
    // notch after its raw client's window appeared, whichever row came first.
    void warmUp() {
        setIntercepting(false);
        const std::size_t before = said().offsets.size();
        TestMouse& mouse = plugIn();
        watch(mouse);
        mouse.send(kNotchDown);
        waitUntil([&] { return said().offsets.size() > before; }, pause, 2s);
        setIntercepting(true);
    }
    // Waits until the desktop has opened the mouse (or its clone), then puts the pointer on the
    // window.
    void watch(TestMouse& mouse) override {
        const std::string name = intercepting() ? cloneName(mouse.name()) : mouse.name();
        if (!waitUntil([&] { return desktop->opened(name); }))
            throw std::runtime_error(std::string(desktopKind().name) + " did not open " + name +
                                     ":\n" + contentsOf(desktop->log()));
        if (!moveOnto(
                mouse, [&] { return said().focused; }, desktopKind().isX11))
            throw std::runtime_error("the window's pointer never entered");
        if (desktopKind().isX11) {
            // Up and down by turns until the window has moved for this mouse once.
            const std::size_t before = said().offsets.size();
            for (int notch = 0; notch < 4 && said().offsets.size() == before; ++notch) {
                mouse.send(notch % 2 ? kNotchDown : kNotchUp);
                waitUntil([&] { return said().offsets.size() > before; }, pause, 1s);
            }
            std::this_thread::sleep_for(700ms);  // the glide and its settling are over
        }
        // A notch right after the pointer came on (a row without a pause) was lost now and then
        // for the plain mouse under sway: the desktop gets a moment to settle its new device.
        std::this_thread::sleep_for(200ms);
        measuredFrom = said().offsets.size();
        crossingsFrom = said().crossings;
    }
    void pump() override {}  // the window's lines wait in their file

    Moves playAndMeasure() {
        const std::vector<Clock::time_point> sent = play();
        const WindowSaid after = said();
        Moves moves = movesSince(after.offsets, measuredFrom, sent);
        moves.crossings = after.crossings - crossingsFrom;
        return moves;
    }
    // Plays the row with plain mice, then through the program's glide, and compares what the
    // window did.
    void compareWithControl();

    static std::string outFile() { return desktop->runtime() + "/window.out"; }
    static std::string debugFile() { return desktop->runtime() + "/window.wayland-debug"; }
    static WindowSaid said() { return WindowSaid(outFile()); }

    static inline std::unique_ptr<Desktop> desktop;
    static inline std::unique_ptr<Child> window;
    // A pointer the program leaves alone, there for as long as the desktop runs: mutter takes the
    // pointer from its windows while no pointing device is left, and a window then has to ask for
    // it again once the next mouse comes.
    static inline std::unique_ptr<TestMouse> standing;
    // The window's offsets and crossings before the row's first notch, as each run's new mice
    // are watched.
    std::size_t measuredFrom = 0;
    int crossingsFrom = 0;
};

void WhatToolkitsShow::compareWithControl() {
    const Scenario& row = GetParam();
    setIntercepting(false);
    const Moves control = playAndMeasure();
    setIntercepting(true);
    const Moves glide = playAndMeasure();
    const auto notches = static_cast<double>(row.steps.size());
    const std::string closest =
        glide.changes > 1 ? std::to_string(std::lround(glide.closest.count())) + " ms" : "-";
    const bool leftAlone = leavesMiceAlone(*desktop);
    std::printf(
        "toolkit: %s %s %s: %s%d changes (%.1f a notch), %g/%g px, the first %.0f ms after the "
        "notch, the last %.0f ms after the last, closest two %s apart; control: %d changes, "
        "%g/%g px, the first %.0f ms, the last %.0f ms\n",
        desktopKind().name, toolkit().name, row.name,
        leftAlone ? "left alone (the control); the glide would give " : "", glide.changes,
        glide.changes / notches, glide.vertical, glide.horizontal, glide.first.count(),
        glide.last.count(), closest.c_str(), control.changes, control.vertical, control.horizontal,
        control.first.count(), control.last.count());
    ASSERT_GT(control.changes, 0) << "the window did not move for the plain mouse";
    EXPECT_EQ(control.crossings + glide.crossings, 0)
        << "the pointer left the window mid-row: " << control.crossings << ", " << glide.crossings;
    if (glideReaches() == Glide::heldBack) {
        // Why the program leaves the mice alone here (what it then shows is the control).
        EXPECT_TRUE(leftAlone) << "the program glides where the glide comes late";
        EXPECT_GT(glide.first, control.first + 3 * kRefresh) << "detents no longer held back";
        return;
    }
    EXPECT_NEAR(glide.vertical, control.vertical, notches) << "px: at most 1 off a notch";
    EXPECT_NEAR(glide.horizontal, control.horizontal, notches) << "px: at most 1 off a notch";
    // As whole detents: a move a notch, or as many as the plain wheel's where the toolkit paints
    // notches faster than its frames as one (GTK 3, eight fast notches). In fractions: five moves
    // a notch, or, where notches come faster than five refreshes apart, a move at every other
    // refresh the glide lasts (its last posts come further apart).
    const double refreshes = glide.span / kRefresh;
    EXPECT_GE(glide.changes, glideReaches() == Glide::asWholeDetents
                                 ? std::min<double>(notches, control.changes)
                                 : std::min(5 * notches, 0.5 * refreshes));
    EXPECT_GE(glide.closest, kRefresh - kEmulationSlack) << "two moves in one refresh";
    EXPECT_LE(glide.first,
              control.first + (1 + toolkit().paintJitter) * kRefresh + kEmulationSlack);
}

// One suite for each desktop and toolkit: the desktop and the window start once for its rows.
template <const DesktopKind& D, const Toolkit& T, Glide G>
class Shows : public WhatToolkitsShow {
    const DesktopKind& desktopKind() const override { return D; }
    const Toolkit& toolkit() const override { return T; }
    Glide glideReaches() const override { return G; }
};
#define GLIDEWHEEL_TOOLKIT_ROWS(Suite, desktop, toolkit, glide)                   \
    using Suite = Shows<desktop, toolkit, Glide::glide>;                          \
    TEST_P(Suite, NoLaterThanThePlainMouse) { compareWithControl(); }             \
    INSTANTIATE_TEST_SUITE_P(Scenarios, Suite, ::testing::ValuesIn(kToolkitRows), \
                             [](const auto& row) { return std::string(row.param.name); })

GLIDEWHEEL_TOOLKIT_ROWS(Gtk3UnderWeston, kWeston10, kGtk3, asWholeDetents);
GLIDEWHEEL_TOOLKIT_ROWS(Qt6UnderWeston, kWeston10, kQt6, asWholeDetents);
GLIDEWHEEL_TOOLKIT_ROWS(RawSeat7UnderWeston, kWeston10, kRaw7, asWholeDetents);
GLIDEWHEEL_TOOLKIT_ROWS(Gtk3UnderSway, kSway17, kGtk3, asWholeDetents);
GLIDEWHEEL_TOOLKIT_ROWS(Qt6UnderSway, kSway17, kQt6, asWholeDetents);
GLIDEWHEEL_TOOLKIT_ROWS(Gtk3UnderKwin, kKwin527, kGtk3, heldBack);
GLIDEWHEEL_TOOLKIT_ROWS(Qt6UnderKwin, kKwin527, kQt6, heldBack);
GLIDEWHEEL_TOOLKIT_ROWS(RawSeat7UnderKwin, kKwin527, kRaw7, heldBack);
GLIDEWHEEL_TOOLKIT_ROWS(RawSeat8UnderKwin, kKwin527, kRaw8, inFractions);
// mutter composites about three frames a second in the VM (GL through Mesa's software rasterizer
// under emulation), and GTK 3 and Qt 6 paint a scroll only at a frame callback, so their windows
// there would show mutter's pace. The bare clients show what any window receives.
GLIDEWHEEL_TOOLKIT_ROWS(RawSeat7UnderMutter, kMutter43, kRaw7, asWholeDetents);
GLIDEWHEEL_TOOLKIT_ROWS(RawSeat8UnderMutter, kMutter43, kRaw8, inFractions);
GLIDEWHEEL_TOOLKIT_ROWS(Gtk3UnderXorg, kXorg21, kGtk3X11, inFractions);
GLIDEWHEEL_TOOLKIT_ROWS(Qt6UnderXorg, kXorg21, kQt6X11, inFractions);

}  // namespace
}  // namespace glidewheel::devicetest
