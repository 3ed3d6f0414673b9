// SPDX-License-Identifier: MIT

// One wheel notch through the whole program's engine: the real tap grabs the test mouse, the
// shared interceptor turns the notch into a glide, and the glide leaves the mouse's clone as
// high-resolution wheel units.

#include "engine/scroll_interceptor.h"
#include "platform/sim/sim_platform.h"
#include "tests/device/test_devices.h"

namespace glidewheel::devicetest {
namespace {

using namespace platform;

// The program's backend with the real tap on its input thread and a display link ticked by hand.
// It must outlive the shared interceptor and preferences, which live until exit.
struct RealTapBackend {
    linuxdesktop::EvdevEventTapService taps;
    sim::SimPlatform sim;  // all but its event stream

    static RealTapBackend& installed() {
        static RealTapBackend backend;
        Services services = backend.sim.services();
        services.eventTaps = &backend.taps;
        platform::install(services);
        return backend;
    }
};

// Stops the shared interceptor however the test ends, so no later test finds its mice grabbed.
struct InterceptorRun {
    InterceptorRun() { ScrollInterceptor::shared().start(); }
    ~InterceptorRun() { ScrollInterceptor::shared().stop(); }
};

using EndToEndTest = DeviceTest;

TEST_F(EndToEndTest, OneNotchGlidesOutOfTheCloneAsOneWholeDetent) {
    RealTapBackend& backend = RealTapBackend::installed();
    TestMouse mouse("glidewheel end-to-end mouse");
    InterceptorRun run;
    std::string cloneNode;
    const auto taken = [&] {
        for (const auto& held : backend.taps.takenDevices())
            if (held.devnode == mouse.eventNode() && held.grabbed) cloneNode = held.cloneDevnode;
        return !cloneNode.empty();
    };
    const auto pump = pause;
    ASSERT_TRUE(waitUntil(taken, pump));
    EventReader clone(cloneNode);

    mouse.send({{EV_REL, REL_WHEEL, 1}, {EV_REL, REL_WHEEL_HI_RES, 120}});
    SmoothScroller& scroller = ScrollInterceptor::shared().smoothScroller();
    // The callback starts the glide on the input thread: asked there, so the link it made is
    // seen whole here.
    const auto gliding = [&] {
        bool running = false;
        backend.taps.inputLoop().runAndWait([&] { running = scroller.isDisplayLinkRunning(); });
        return running;
    };
    ASSERT_TRUE(waitUntil(gliding, pump)) << "no glide";
    sim::ManualDisplayLink& link = *backend.sim.displayLinks.lastManualLink();
    int frames = 0;
    while (link.tick() && frames < 1000) ++frames;

    // The glide's last posts settle it on the loop's timer, within 100 ms of its last frame.
    std::vector<Frame> received;
    std::int32_t units = 0, detents = 0;
    waitUntil([&] { return units >= 120; },
              [&] {
                  pump();
                  for (Frame& frame : clone.readFrames()) {
                      for (const InputEvent& event : frame) {
                          EXPECT_TRUE(event.code == REL_WHEEL_HI_RES || event.code == REL_WHEEL)
                              << event.code;
                          (event.code == REL_WHEEL ? detents : units) += event.value;
                      }
                      received.push_back(std::move(frame));
                  }
              });
    // One detent at speed 1.0 and smoothness 0.5 is a 10-point glide of 21 frames; the seven
    // frames that gathered a whole point posted 8.7636 points, and the 1.2364 the stop rule left
    // are settled after the last: the clone moves one whole detent, with its legacy step.
    EXPECT_EQ(frames, 21);
    EXPECT_GE(received.size(), std::size_t{8});
    EXPECT_EQ(std::make_pair(units, detents), std::make_pair(120, 1));
}

}  // namespace
}  // namespace glidewheel::devicetest
