// SPDX-License-Identifier: MIT

// The two operations in the path of every wheel event and every display refresh, measured
// against one event copy so their cost reads as a ratio in a single run.

#include <benchmark/benchmark.h>

#include <atomic>
#include <cfloat>
#include <chrono>
#include <thread>

#include "engine/scroll_interceptor.h"
#include "engine/smooth_scroller.h"
#include "platform/sim/sim_platform.h"
#include "settings/preferences.h"

namespace {

using namespace glidewheel;
using namespace glidewheel::platform;

// Posting through the sim stream keeps every event; over millions of frames that would
// measure memory growth. This one only looks at what it is given.
class DiscardingEventTaps final : public EventTapService {
public:
    std::unique_ptr<EventTap> createTap(EventTapLocation, EventTapPlacement, EventTapOptions,
                                        EventMask, EventTapCallback, void*) override {
        return nullptr;
    }
    std::unique_ptr<RunLoopSource> createRunLoopSource(EventTap&) override { return nullptr; }
    void postEvent(EventTapProxy, const Event& event) override { benchmark::DoNotOptimize(&event); }
};

// A wheel notch as the backend delivers one, with the fields a real wheel event carries.
Event wheelNotch() {
    Event event(kCGEventScrollWheel);
    event.setIntegerValue(kCGScrollWheelEventDeltaAxis1, 1);
    event.setIntegerValue(kCGScrollWheelEventDeltaAxis2, 0);
    event.setDoubleValue(kCGScrollWheelEventPointDeltaAxis1, 1.0);
    event.setDoubleValue(kCGScrollWheelEventPointDeltaAxis2, 0.0);
    event.setIntegerValue(kCGScrollWheelEventFixedPtDeltaAxis1, 65536);
    event.setIntegerValue(kCGScrollWheelEventFixedPtDeltaAxis2, 0);
    event.setIntegerValue(kCGScrollWheelEventIsContinuous, 0);
    event.setIntegerValue(kCGScrollWheelEventScrollPhase, 0);
    event.setIntegerValue(kCGScrollWheelEventMomentumPhase, 0);
    return event;
}

// The argument is the acceleration setting: 0 (off), or 1 with the notches of a fast spin, 20 ms
// apart, so that every one is accelerated.
void tapCallbackOnAWheelNotch(benchmark::State& state) {
    // Leaked, so that the backend outlives the shared interceptor at exit. The display link is
    // a manual one: it is started by the first notch and never ticked, so no thread runs.
    static auto* platform = [] {
        auto* made = new sim::SimPlatform;
        made->install();
        return made;
    }();
    ScrollInterceptor& interceptor = ScrollInterceptor::shared();
    Preferences::shared().setIsEnabled(true);
    Preferences::shared().setAcceleration(static_cast<double>(state.range(0)));
    Event notch = wheelNotch();
    for (auto _ : state) {
        notch.setTimestamp(notch.timestamp() + std::chrono::milliseconds(20));
        Event* result = ScrollInterceptor::eventTapCallback(EventTapProxy{1}, kCGEventScrollWheel,
                                                            &notch, &interceptor);
        benchmark::DoNotOptimize(result);
    }
    interceptor.smoothScroller().stop();
    benchmark::DoNotOptimize(platform);
}
BENCHMARK(tapCallbackOnAWheelNotch)->ArgName("acceleration")->Arg(0)->Arg(1);

// The callback once applications are listed, which makes it read the lookup's answer for the
// application under the pointer: eight listed, the pointer over another one, so the notch still
// glides (listed 0), or over a listed one, so it passes and ends the glide (listed 1). With
// publishing 1 another thread publishes a new answer all the while, as the lookup does while the
// pointer crosses windows.
void tapCallbackWithApplicationsListed(benchmark::State& state) {
    sim::SimPlatform platform;
    Preferences preferences(platform.userDefaults, platform.loginItems);
    for (const char* name : {"steam", "virt-manager", "remmina", "vncviewer", "wine", "dosbox",
                             "retroarch", "blender"}) {
        preferences.addRawWheelApplication(name);
    }
    ScrollInterceptor interceptor(platform.services(), preferences);
    const PointerTarget target = state.range(1) == 1
                                     ? PointerTarget{"blender", "blender", "Blender"}
                                     : PointerTarget{"firefox-esr", "Navigator", "firefox-esr"};
    platform.pointerApplication.pointAt(target);
    std::atomic<bool> done = false;
    std::jthread publisher;
    if (state.range(0) == 1) {
        publisher = std::jthread([&] {
            while (!done.load(std::memory_order_relaxed))
                platform.pointerApplication.pointAt(target);
        });
    }
    Event notch = wheelNotch();
    for (auto _ : state) {
        Event* result = interceptor.handleTapEvent(EventTapProxy{1}, kCGEventScrollWheel, &notch);
        benchmark::DoNotOptimize(result);
    }
    done = true;
    interceptor.smoothScroller().stop();
}
BENCHMARK(tapCallbackWithApplicationsListed)
    ->ArgNames({"publishing", "listed"})
    ->Args({0, 0})
    ->Args({1, 0})
    ->Args({0, 1});

void frameStepThatPosts(benchmark::State& state) {
    sim::SimDisplayLinkService links;
    DiscardingEventTaps taps;
    SmoothScroller scroller(links, taps);
    const Event notch = wheelNotch();
    // A glide this long posts at every frame for thousands of frames; hand over again when it
    // ends.
    const auto handOff = [&] {
        scroller.addScroll(1.0, DBL_MAX / 2, 0.05, notch, EventTapProxy{1}, false);
    };
    handOff();
    sim::ManualDisplayLink& link = *links.lastManualLink();
    for (auto _ : state) {
        if (!link.tick()) handOff();
    }
}
BENCHMARK(frameStepThatPosts);

void eventCopy(benchmark::State& state) {
    const Event notch = wheelNotch();
    for (auto _ : state) {
        Event copy = notch;
        benchmark::DoNotOptimize(copy);
    }
}
BENCHMARK(eventCopy);

}  // namespace

BENCHMARK_MAIN();
