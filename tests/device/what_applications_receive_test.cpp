// SPDX-License-Identifier: MIT

// What applications receive: the clones read through libinput, as a desktop reads them, while
// the real tap and the glide engine run on a 60 Hz display link at the default settings.
//
// libinput needs udev's properties (ID_INPUT, ID_INPUT_MOUSE) for every device it opens; the
// test VM runs Debian's udevd for them. Times are compared on the kernel's event time stamps,
// which the emulated CPU's slowness does not move.

#include <fcntl.h>
#include <libinput.h>
#include <linux/input.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "engine/scroll_interceptor.h"
#include "engine/smooth_scroller.h"
#include "platform/linux/display/vblank_display_link.h"
#include "tests/device/test_devices.h"

namespace glidewheel::devicetest {
namespace {

using namespace std::chrono_literals;
using namespace platform;
using Clock = std::chrono::steady_clock;  // CLOCK_MONOTONIC, as libinput's time stamps
using linuxdesktop::adoptFd;
using linuxdesktop::UniqueFd;

constexpr auto kRefresh = 16667us;  // the display link's period at 60 Hz

const Frame kNotchDown = {{EV_REL, REL_WHEEL, -1}, {EV_REL, REL_WHEEL_HI_RES, -120}};
const Frame kNotchUp = {{EV_REL, REL_WHEEL, 1}, {EV_REL, REL_WHEEL_HI_RES, 120}};
const Frame kNotchRight = {{EV_REL, REL_HWHEEL, 1}, {EV_REL, REL_HWHEEL_HI_RES, 120}};

Clock::time_point stampOf(const timeval& time) {
    return Clock::time_point(std::chrono::seconds(time.tv_sec) +
                             std::chrono::microseconds(time.tv_usec));
}

// Whether udev has given the node the properties libinput goes by.
bool taggedByUdev(const std::string& eventNode) {
    struct stat status {};
    if (stat(eventNode.c_str(), &status) != 0) return false;
    linuxdesktop::UdevPtr udev(udev_new());
    linuxdesktop::UdevDevicePtr device(
        udev_device_new_from_devnum(udev.get(), 'c', status.st_rdev));
    return device && udev_device_get_property_value(device.get(), "ID_INPUT_MOUSE") != nullptr;
}

// libinput on one event node through its path backend, keeping its wheel scroll events.
class LibinputReader {
public:
    struct Scroll {
        Clock::time_point at;
        double vertical = 0.0, horizontal = 0.0;  // v120: 120 a detent, positive down and right
    };

    explicit LibinputReader(const std::string& eventNode)
        : libinput_(libinput_path_create_context(&kInterface, nullptr)) {
        if (!libinput_ || !libinput_path_add_device(libinput_, eventNode.c_str()))
            throw std::runtime_error("libinput does not take " + eventNode);
    }
    ~LibinputReader() { libinput_unref(libinput_); }
    LibinputReader(const LibinputReader&) = delete;
    LibinputReader& operator=(const LibinputReader&) = delete;

    void pump() {
        libinput_dispatch(libinput_);
        while (libinput_event* event = libinput_get_event(libinput_)) {
            if (libinput_event_get_type(event) == LIBINPUT_EVENT_POINTER_SCROLL_WHEEL) {
                libinput_event_pointer* pointer = libinput_event_get_pointer_event(event);
                Scroll scroll{Clock::time_point(
                    std::chrono::microseconds(libinput_event_pointer_get_time_usec(pointer)))};
                for (const auto axis : {LIBINPUT_POINTER_AXIS_SCROLL_VERTICAL,
                                        LIBINPUT_POINTER_AXIS_SCROLL_HORIZONTAL}) {
                    if (!libinput_event_pointer_has_axis(pointer, axis)) continue;
                    (axis == LIBINPUT_POINTER_AXIS_SCROLL_VERTICAL ? scroll.vertical
                                                                   : scroll.horizontal) =
                        libinput_event_pointer_get_scroll_value_v120(pointer, axis);
                }
                scrolls.push_back(scroll);
            }
            libinput_event_destroy(event);
        }
    }
    double total(bool horizontal = false) const {
        double sum = 0.0;
        for (const Scroll& s : scrolls) sum += horizontal ? s.horizontal : s.vertical;
        return sum;
    }

    std::vector<Scroll> scrolls;

private:
    static int openRestricted(const char* path, int flags, void*) {
        const int fd = open(path, flags | O_CLOEXEC);
        return fd < 0 ? -errno : fd;
    }
    static void closeRestricted(int fd, void*) { close(fd); }
    static constexpr libinput_interface kInterface{&openRestricted, &closeRestricted};

    libinput* libinput_;
};

// An event node's frames with their time stamps, on the monotonic clock libinput also uses.
class TimedReader {
public:
    struct TimedFrame {
        Clock::time_point at;
        Frame events;
    };

    explicit TimedReader(const std::string& eventNode)
        : fd_(adoptFd(open(eventNode.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC))) {
        int clock = CLOCK_MONOTONIC;
        if (!fd_ || ioctl(fd_.get().fd, EVIOCSCLOCKID, &clock) != 0)
            throw std::runtime_error("cannot read " + eventNode);
    }
    void pump() {
        input_event event;
        while (read(fd_.get().fd, &event, sizeof event) == sizeof event) {
            if (event.type == EV_SYN && event.code == SYN_REPORT) {
                frames.push_back({stampOf(event.time), std::move(partial_)});
                partial_.clear();
            } else {
                partial_.push_back({event.type, event.code, event.value});
            }
        }
    }
    bool hasEventType(unsigned type) const {
        unsigned long bits[1] = {};
        ioctl(fd_.get().fd, EVIOCGBIT(0, sizeof bits), bits);
        return (bits[0] >> type) & 1;
    }
    // The first frame after `after` that holds the code, if any.
    const TimedFrame* firstWith(std::uint16_t code, Clock::time_point after) const {
        for (const TimedFrame& frame : frames)
            for (const InputEvent& event : frame.events)
                if (event.code == code && frame.at > after) return &frame;
        return nullptr;
    }
    // The sum of one code's values over every frame so far; with `value`, how often it came.
    int sum(std::uint16_t type, std::uint16_t code, int value = 0) const {
        int total = 0;
        for (const TimedFrame& frame : frames)
            for (const InputEvent& event : frame.events)
                if (event.type == type && event.code == code)
                    total += value == 0 ? event.value : (event.value == value ? 1 : 0);
        return total;
    }

    std::vector<TimedFrame> frames;

private:
    UniqueFd fd_;
    Frame partial_;
};

// The real tap on its input thread with the glide engine behind it, wired as the interceptor
// wires them at speed 1.0 and smoothness 0.5, its frames from the program's 60 Hz display link.
class WhatApplicationsReceive : public DeviceTest {
protected:
    struct Watched {
        std::unique_ptr<TestMouse> mouse;
        std::unique_ptr<LibinputReader> libinput;
        std::unique_ptr<TimedReader> evdev;
    };

    void SetUp() override {
        DeviceTest::SetUp();
        if (IsSkipped()) return;
        tap = service.createTap(kCGAnnotatedSessionEventTap, kCGTailAppendEventTap,
                                kCGEventTapOptionDefault, CGEventMaskBit(kCGEventScrollWheel),
                                &WhatApplicationsReceive::onWheel, this);
        ASSERT_TRUE(tap);
        source = service.createRunLoopSource(*tap);
        source->addToMainRunLoop();
    }
    void TearDown() override {
        if (tap) tap->setEnabled(false);  // no hand-off comes while the glide stops
        scroller.stop();
        source.reset();
        tap.reset();
    }

    static Event* onWheel(EventTapProxy proxy, EventType, Event* event, void* self) {
        double delta = event->doubleValue(kCGScrollWheelEventPointDeltaAxis1);
        const bool horizontal = delta == 0.0;
        if (horizontal) delta = event->doubleValue(kCGScrollWheelEventPointDeltaAxis2);
        const double clamped = clampedDelta(delta);
        auto& test = *static_cast<WhatApplicationsReceive*>(self);
        {
            std::scoped_lock guard(test.handOffsMutex);
            test.handOffs.push_back(Clock::now());
        }
        test.scroller.addScroll(clamped, glideDistance(clamped, 1.0), interpolationFactor(0.5),
                                *event, proxy, horizontal);
        return nullptr;
    }

    // A new mouse, taken by the tap, its clone tagged by udev and read by libinput and evdev.
    Watched& watch(bool withKeys = false) {
        static int mice = 0;
        Watched& watched = watching.emplace_back();
        watched.mouse =
            std::make_unique<TestMouse>("glidewheel libinput mouse " + std::to_string(++mice),
                                        withKeys);
        std::string clone;
        const bool taken = waitUntil(
            [&] {
                for (const auto& held : service.takenDevices())
                    if (held.devnode == watched.mouse->eventNode() && held.grabbed)
                        clone = held.cloneDevnode;
                return !clone.empty() && taggedByUdev(clone);
            },
            pause);
        if (!taken) throw std::runtime_error("the mouse's clone was not taken and tagged");
        watched.libinput = std::make_unique<LibinputReader>(clone);
        watched.evdev = std::make_unique<TimedReader>(clone);
        return watched;
    }

    // Runs the loop and reads every clone for `span` of real time.
    void run(Clock::duration span) {
        for (const auto end = Clock::now() + span; Clock::now() < end;) {
            std::this_thread::sleep_for(1ms);
            for (Watched& watched : watching) {
                if (watched.libinput) watched.libinput->pump();
                if (watched.evdev) watched.evdev->pump();
            }
        }
    }
    // Sends a frame from the mouse; returns when it was sent.
    static Clock::time_point send(Watched& watched, const Frame& frame) {
        const auto now = Clock::now();
        watched.mouse->send(frame);
        return now;
    }

    linuxdesktop::EvdevEventTapService service;
    linuxdesktop::VblankDisplayLinkService links{[] { return 60.0; }};
    SmoothScroller scroller{links, service};
    std::unique_ptr<EventTap> tap;
    std::unique_ptr<RunLoopSource> source;
    std::deque<Watched> watching;
    std::mutex handOffsMutex;
    std::vector<Clock::time_point> handOffs;  // when the engine took each notch (input thread)
};

// An X server's core clicks from a running sum of v120 values: one each time it reaches a whole
// detent either way, the rest kept across pauses and turns. Positive: down.
std::vector<int> coreClicks(const std::vector<LibinputReader::Scroll>& scrolls) {
    std::vector<int> clicks;
    double sum = 0.0;
    for (const auto& scroll : scrolls) {
        sum += scroll.vertical;
        for (; sum >= 120.0; sum -= 120.0) clicks.push_back(1);
        for (; sum <= -120.0; sum += 120.0) clicks.push_back(-1);
    }
    return clicks;
}

TEST_F(WhatApplicationsReceive, OneNotchAfterAPauseIsOneDetentScrollingFromTheFirstFrame) {
    Watched& m = watch();
    run(600ms);  // a pause: libinput would hold back the start of a scroll
    send(m, kNotchDown);
    run(800ms);
    EXPECT_EQ(m.libinput->total(), 120.0);
    ASSERT_FALSE(m.libinput->scrolls.empty());
    ASSERT_FALSE(m.evdev->frames.empty());
    // libinput releases the glide's first frame at once, and that frame comes one refresh
    // after the engine took the notch (plus the emulated CPU's timer slack).
    EXPECT_EQ(m.libinput->scrolls.front().at, m.evdev->frames.front().at);
    std::scoped_lock guard(handOffsMutex);
    ASSERT_EQ(handOffs.size(), 1u);
    const auto firstScroll = m.libinput->scrolls.front().at - handOffs.front();
    EXPECT_LE(firstScroll, kRefresh + 10ms)
        << std::chrono::duration_cast<std::chrono::microseconds>(firstScroll).count() << " us";
}

TEST_F(WhatApplicationsReceive, ThreeNotchesApartAreThreeDetentsEachWithItsLegacyStepInItsGlide) {
    Watched& m = watch();
    std::vector<Clock::time_point> notches;
    for (int i = 0; i < 3; ++i) {
        notches.push_back(send(m, kNotchDown));
        run(800ms);
        // The glide (21 frames) and its settling are over well before the next notch.
        EXPECT_EQ(m.libinput->total(), 120.0 * (i + 1)) << i;
        EXPECT_EQ(m.evdev->sum(EV_REL, REL_WHEEL), -(i + 1)) << i;
    }
    EXPECT_EQ(m.evdev->sum(EV_REL, REL_WHEEL_HI_RES), -360);
    for (int i = 0; i < 3; ++i) {
        const TimedReader::TimedFrame* step = m.evdev->firstWith(REL_WHEEL, notches[i]);
        ASSERT_NE(step, nullptr) << i;
        EXPECT_LE(step->at - notches[i], 21 * kRefresh + 100ms) << i;
    }
}

TEST_F(WhatApplicationsReceive, DownThenUpMidGlideThenUpAgainClicksAsAPlainMouse) {
    Watched& m = watch();
    send(m, kNotchDown);
    run(100ms);
    send(m, kNotchUp);
    run(1500ms);
    EXPECT_EQ(m.libinput->total(), 0.0) << "a whole detent down, then one up";
    send(m, kNotchUp);
    run(1500ms);
    EXPECT_EQ(m.libinput->total(), -120.0);
    EXPECT_EQ(coreClicks(m.libinput->scrolls), (std::vector<int>{1, -1, -1}));
    EXPECT_EQ(std::make_pair(m.evdev->sum(EV_REL, REL_WHEEL, -1),
                             m.evdev->sum(EV_REL, REL_WHEEL, 1)),
              std::make_pair(1, 2));
}

TEST_F(WhatApplicationsReceive, EveryWheelFrameOfAnAxisSwitchingGlideScrollsWithin5Ms) {
    Watched& m = watch();
    for (const Frame& notch : {kNotchDown, kNotchRight, kNotchDown}) {
        send(m, notch);
        run(150ms);
    }
    run(1s);
    std::size_t wheelFrames = 0;
    for (const auto& frame : m.evdev->frames) {
        const bool wheel = std::any_of(frame.events.begin(), frame.events.end(), [](auto& e) {
            return e.code == REL_WHEEL_HI_RES || e.code == REL_HWHEEL_HI_RES;
        });
        if (!wheel) continue;
        ++wheelFrames;
        const bool scrolled =
            std::any_of(m.libinput->scrolls.begin(), m.libinput->scrolls.end(),
                        [&](const auto& s) { return s.at >= frame.at && s.at - frame.at <= 5ms; });
        EXPECT_TRUE(scrolled) << "a wheel frame " << wheelFrames << " held back by libinput";
    }
    EXPECT_GT(wheelFrames, 10u);
    EXPECT_EQ(std::make_pair(std::abs(m.libinput->total()), std::abs(m.libinput->total(true))),
              std::make_pair(240.0, 120.0));
}

TEST_F(WhatApplicationsReceive, TwoQuickNotchesOnTwoMiceAreTwoDetents) {
    Watched& first = watch();
    Watched& second = watch();
    run(600ms);
    send(first, kNotchDown);
    run(30ms);
    send(second, kNotchDown);
    run(1s);
    EXPECT_EQ(first.libinput->total() + second.libinput->total(), 240.0);
}

TEST_F(WhatApplicationsReceive, AKeyHeldOnAMouseRepeatsOnTheCloneNoMoreThanOnTheMouse) {
    Watched& m = watch(true);
    EXPECT_FALSE(m.evdev->hasEventType(EV_REP)) << "the kernel would repeat on the clone too";
    const auto pressed = send(m, {{EV_KEY, KEY_VOLUMEUP, 1}});
    run(700ms);
    const auto held = send(m, {{EV_KEY, KEY_VOLUMEUP, 0}}) - pressed;
    run(200ms);
    // The kernel repeats the mouse's key after the delay, then every period, while it is held.
    const auto afterDelay = held - TestMouse::kRepeatDelay;
    const int mouseRepeats =
        afterDelay < 0ms ? 0 : static_cast<int>(afterDelay / TestMouse::kRepeatPeriod) + 1;
    const int cloneRepeats = m.evdev->sum(EV_KEY, KEY_VOLUMEUP, 2);
    EXPECT_GT(cloneRepeats, 0) << "the mouse's repeats are forwarded";
    EXPECT_LE(cloneRepeats, mouseRepeats);
    EXPECT_EQ(m.evdev->sum(EV_KEY, KEY_VOLUMEUP, 1), 1);
}

}  // namespace
}  // namespace glidewheel::devicetest
