// SPDX-License-Identifier: MIT

// Applications that keep the raw wheel, under Xorg, sway (by its IPC socket, and by the
// foreign-toplevel manager of wlroots compositors) and KWin: two windows, one of them an
// application on the list, the pointer moved onto each by the test mouse through its clone, and
// the clone's wheel frames read as the desktop reads them.

#include <xcb/xcb.h>

#include "engine/scroll_interceptor.h"
#include "platform/linux/desktop/kwin_pointer_application.h"
#include "platform/linux/desktop/sway_pointer_application.h"
#include "platform/linux/desktop/wlroots_pointer_application.h"
#include "platform/linux/desktop/x11_pointer_application.h"
#include "platform/linux/display/vblank_display_link.h"
#include "platform/sim/sim_platform.h"
#include "tests/device/test_devices.h"

namespace glidewheel::devicetest {
namespace {

using namespace platform;
using namespace std::string_view_literals;

// Sweeps the pointer across the screen and back until the lookup names the window's class, or
// names none for a null class. Under sway the answer is the focused window, which follows the
// pointer as it crosses into a window, wherever sway has tiled it.
bool pointAt(const PointerApplication& lookup, TestMouse& mouse, const char* className) {
    int step = 0;
    return waitUntil([&] {
        mouse.send({{EV_REL, REL_X, step++ / 30 % 2 ? -40 : 40}});
        std::this_thread::sleep_for(20ms);
        const auto target = lookup.current();
        return className ? target && target->className == className : !target;
    });
}

// Maps a window of the given WM_CLASS ("instance\0Class") at `left`, `width` wide.
void mapXWindow(xcb_connection_t* x, std::string_view wmClass, std::int16_t left,
                std::uint16_t width) {
    const xcb_screen_t& screen = *xcb_setup_roots_iterator(xcb_get_setup(x)).data;
    const xcb_window_t window = xcb_generate_id(x);
    xcb_create_window(x, XCB_COPY_FROM_PARENT, window, screen.root, left, 0, width,
                      screen.height_in_pixels, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen.root_visual,
                      0, nullptr);
    xcb_change_property(x, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8,
                        wmClass.size(), wmClass.data());
    xcb_map_window(x, window);
    xcb_flush(x);
}

// Sends a notch; gives the clone's wheel frames, sorted by code, each with its delay after the
// notch in ms: the first `count`, or all until none came for 600 ms (a glide's end, settled).
std::vector<std::pair<Frame, double>> notch(TestMouse& mouse, EventReader& clone,
                                            std::size_t count = 99) {
    std::vector<std::pair<Frame, double>> wheel;
    const auto sent = Clock::now();
    mouse.send(kNotchDown);
    for (auto quiet = sent + 600ms; Clock::now() < quiet && wheel.size() < count; pause()) {
        for (TimedFrame& frame : clone.readFrames()) {
            if (std::ranges::none_of(frame.events, [](auto& e) { return e.code >= REL_WHEEL; }))
                continue;  // motion
            std::ranges::sort(frame.events, {}, &InputEvent::code);
            wheel.emplace_back(frame.events, Milliseconds(frame.at - sent).count());
            quiet = Clock::now() + 600ms;
        }
    }
    return wheel;
}

// Sends 100 notches, each of which must reach the clone as the mouse's own frame; gives the p50
// and p99 of their delays in ms.
std::pair<double, double> passDelays(TestMouse& mouse, EventReader& clone) {
    std::vector<double> delays;
    for (int i = 0; i < 100; ++i) {
        for (const auto& [frame, delay] : notch(mouse, clone, 1)) {
            EXPECT_EQ(frame, kNotchDown);
            delays.push_back(delay);
        }
    }
    std::ranges::sort(delays);
    return {delays.at(49), delays.at(98)};
}

// A desktop with two windows side by side, the left one's application listed, and its lookup.
struct TwoWindows {
    std::unique_ptr<Desktop> desktop;
    std::vector<std::unique_ptr<Child>> windows;
    std::unique_ptr<PointerApplication> lookup;
    const char *listed, *other;  // the windows' class names (app_id under sway)
    // Where the other window covers the listed one, what brings the listed one under the pointer.
    std::function<void()> uncoverListed;
};

// Bare X windows named by WM_CLASS alone.
void openXorg(TwoWindows& session) {
    session.desktop = std::make_unique<Xorg>();
    ASSERT_TRUE(waitUntil([&] { return session.desktop->listening(); }, pause, 60s))
        << contentsOf(session.desktop->log());
    xcb_connection_t* x = xcb_connect(":7", nullptr);  // the windows last until the VM ends
    const std::uint16_t half = xcb_setup_roots_iterator(xcb_get_setup(x)).data->width_in_pixels / 2;
    mapXWindow(x, "raw-client\0RawClient"sv, 0, half);
    mapXWindow(x, "glide-client\0GlideClient"sv, half, half);
    session.lookup = linuxdesktop::X11PointerApplication::open(":7");
    session.listed = "RawClient", session.other = "GlideClient";
}

// The Qt window of the toolkit tests, then the GTK one, each asking for the whole screen.
void openScrollClients(const Desktop& desktop, TwoWindows& session) {
    for (const char* client : {"qt6-scroll-client", "gtk3-scroll-client"}) {
        std::vector<std::string> env = desktop.clientEnv();
        env.insert(env.end(), {"QT_QPA_PLATFORM=wayland", "GDK_BACKEND=wayland", "NO_AT_BRIDGE=1",
                               "GSETTINGS_BACKEND=memory"});
        const std::string out = desktop.runtime() + "/" + client + ".out";
        session.windows.push_back(
            std::make_unique<Child>(hostCommand({besideTests(client)}, env), out));
        ASSERT_TRUE(waitUntil([&] { return contentsOf(out).find("ready") != std::string::npos; },
                              pause, 120s))
            << client;
    }
    session.listed = "qt6-scroll-client", session.other = "gtk3-scroll-client";
}

// Tiled left and right in the order they open.
void openSway(TwoWindows& session) {
    auto sway = std::make_unique<Sway>();
    ASSERT_TRUE(
        waitUntil([&] { return sway->listening() && !sway->ipcSocket().empty(); }, pause, 120s))
        << contentsOf(sway->log());
    openScrollClients(*sway, session);
    // Each window asks for the whole screen, which would hide the other one.
    Child(hostCommand({"/usr/bin/swaymsg", "-s", sway->ipcSocket(),
                       "[app_id=\"scroll-client\"] fullscreen disable"}),
          "/dev/null")
        .wait();
    session.lookup = linuxdesktop::SwayPointerApplication::open(sway->ipcSocket());
    session.desktop = std::move(sway);
}

// Stacked, the GTK window over the Qt one until it closes. The lookup finds KWin on the session
// bus that the program's session names.
void openKwin(TwoWindows& session) {
    auto kwin = std::make_unique<Kwin>();
    ASSERT_TRUE(waitUntil([&] { return kwin->listening(); }, pause, 120s))
        << contentsOf(kwin->log());
    openScrollClients(*kwin, session);
    for (const std::string& variable : kwin->sessionEnv()) ::putenv(strdup(variable.c_str()));
    session.lookup = linuxdesktop::KwinPointerApplication::open();
    session.uncoverListed = [&session] { session.windows.pop_back(); };
    session.desktop = std::move(kwin);
}

// The same, the windows named by the foreign-toplevel manager that sway offers as other wlroots
// compositors do.
void openSwayToplevels(TwoWindows& session) {
    openSway(session);
    if (::testing::Test::HasFatalFailure()) return;
    const auto& sway = static_cast<const Sway&>(*session.desktop);
    session.lookup = linuxdesktop::WlrootsPointerApplication::open(
        (sway.runtime() + "/" + sway.socket()).c_str());
}

// A desktop the rows run on, and how its two windows open.
struct RawWheelDesktop {
    const char* name;
    void (*open)(TwoWindows&);

    friend void PrintTo(const RawWheelDesktop& desktop, std::ostream* out) { *out << desktop.name; }
};
struct RawWheelApplicationsUnder : DeviceTest, ::testing::WithParamInterface<RawWheelDesktop> {};

// A glide over the other window, then the listed one's notches: one frame each, the mouse's own.
TEST_P(RawWheelApplicationsUnder, GetAFrameANotchAndTheirNeighboursTheGlide) {
    if (const std::string why = noHostRoot() + noDisplay(); !why.empty()) GTEST_SKIP() << why;
    TwoWindows session;
    GetParam().open(session);
    if (HasFatalFailure()) return;
    // The program's input path as the device harness runs it, with the lookup.
    sim::SimPlatform sim;  // trust, settings
    linuxdesktop::EvdevEventTapService taps;
    linuxdesktop::VblankDisplayLinkService links{
        [] { return 60.0; }, linuxdesktop::VblankDisplayLinkService::openCardsInDevDri,
        &taps.displayRefreshes()};
    Preferences preferences(sim.userDefaults, sim.loginItems);
    preferences.addRawWheelApplication(session.listed);
    ScrollInterceptor interceptor({&taps, &links, &sim.trust, &sim.userDefaults, &sim.loginItems,
                                   &sim.bundle, session.lookup.get()},
                                  preferences);
    interceptor.start();
    ASSERT_TRUE(session.lookup && interceptor.isRunning());
    session.lookup->setNeeded(true);  // as the program's main thread does while one is listed
    TestMouse mouse("raw wheel mouse");
    ASSERT_TRUE(
        waitUntil([&] { return takenDevice(taps, mouse) && takenDevice(taps, mouse)->grabbed; }));
    EventReader clone(takenDevice(taps, mouse)->cloneDevnode);

    // A glide next door, under way as the pointer moves onto the listed application, ends first.
    ASSERT_TRUE(pointAt(*session.lookup, mouse, session.other));
    clone.readFrames();  // the moves so far
    mouse.send(kNotchDown);
    std::this_thread::sleep_for(100ms);
    if (session.uncoverListed) session.uncoverListed();
    ASSERT_TRUE(pointAt(*session.lookup, mouse, session.listed));
    int units = 0, steps = 0;
    const auto frames = notch(mouse, clone);  // the glide's frames too
    for (const auto& [frame, delay] : frames)
        for (const InputEvent& event : frame)
            (event.code == REL_WHEEL ? steps : units) += event.value;
    EXPECT_GE(frames.size(), 4u) << "the glide came in frames, then the notch";
    EXPECT_EQ(std::tuple(units, steps, frames.back().first), std::tuple(-240, -2, kNotchDown));

    const auto [listed50, listed99] = passDelays(mouse, clone);
    preferences.setIsEnabled(false);  // the control: every notch passes without a look
    const auto [off50, off99] = passDelays(mouse, clone);
    std::printf(
        "raw wheel: %s: a listed application's notch reaches the clone in p50 %.2f ms, p99 %.2f "
        "ms; with smoothing off p50 %.2f ms, p99 %.2f ms: the lookup adds %.2f ms at p99\n",
        session.desktop->version().c_str(), listed50, listed99, off50, off99, listed99 - off99);
}

INSTANTIATE_TEST_SUITE_P(
    Desktops, RawWheelApplicationsUnder,
    ::testing::Values(RawWheelDesktop{"Xorg", &openXorg}, RawWheelDesktop{"Sway", &openSway},
                      RawWheelDesktop{"SwaysToplevelManager", &openSwayToplevels},
                      RawWheelDesktop{"Kwin", &openKwin}),
    [](const auto& row) { return std::string(row.param.name); });

// Where a Wayland desktop shows no windows, its XWayland shows its own: the X11 lookup there names
// the X window under the pointer, and none once the pointer moves on to a Wayland window.
TEST_F(DeviceTest, UnderXwaylandTheX11LookupNamesItsWindowsAndNoOther) {
    if (const std::string why = noHostRoot() + noDisplay(); !why.empty()) GTEST_SKIP() << why;
    TestMouse mouse("xwayland mouse");                    // read by KWin itself
    std::filesystem::create_directory("/tmp/.X11-unix");  // where XWayland listens, as X servers
    std::filesystem::permissions("/tmp/.X11-unix", std::filesystem::perms(01777));
    Kwin kwin(/*xwayland=*/true);
    ASSERT_TRUE(waitUntil([&] { return kwin.listening(); }, pause, 120s)) << contentsOf(kwin.log());
    TwoWindows session;
    openScrollClients(kwin, session);
    xcb_connection_t* x = nullptr;  // XWayland comes up after KWin, on :0
    ASSERT_TRUE(waitUntil([&] {
        return !xcb_connection_has_error(x = xcb_connect(":0", nullptr));
    })) << contentsOf(kwin.log());
    mapXWindow(x, "raw-client\0RawClient"sv, 0, 300);
    const auto lookup = linuxdesktop::X11PointerApplication::open(":0", true);
    ASSERT_TRUE(lookup && lookup->seesOnlyX11Windows());
    lookup->setNeeded(true);
    EXPECT_TRUE(pointAt(*lookup, mouse, "RawClient"));
    EXPECT_TRUE(pointAt(*lookup, mouse, nullptr)) << "a Wayland window named as the X one";
    EXPECT_TRUE(pointAt(*lookup, mouse, "RawClient"));
}

}  // namespace
}  // namespace glidewheel::devicetest
