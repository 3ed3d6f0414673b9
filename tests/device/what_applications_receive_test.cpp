// SPDX-License-Identifier: MIT

// What applications receive: each scenario of notches sent through the program's input path,
// its clones read through libinput, as a desktop reads them, on a 59.94 Hz display (a test
// compositor's mode on the VM's vkms) whose vblanks pace the glides. What the windows of real
// desktops then show is in what_toolkits_show_test.cpp.
//
// libinput needs udev's properties (ID_INPUT, ID_INPUT_MOUSE) for every device it opens; the
// test VM runs Debian's udevd for them. Times are compared on the kernel's event time stamps,
// which the emulated CPU's slowness does not move.

#include <fcntl.h>
#include <libinput.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <stdexcept>

#include "platform/linux/input/devices/device_classification.h"
#include "tests/device/test_devices.h"

namespace glidewheel::devicetest {
namespace {

constexpr auto kDisplayRefresh = std::chrono::nanoseconds(16'683'350);  // the test mode's 59.94 Hz

// Whether udev has given the node the properties libinput goes by.
bool taggedByUdev(const std::string& eventNode) {
    struct stat status {};
    if (stat(eventNode.c_str(), &status) != 0) return false;
    platform::linuxdesktop::UdevPtr udev(udev_new());
    platform::linuxdesktop::UdevDevicePtr device(
        udev_device_new_from_devnum(udev.get(), 'c', status.st_rdev));
    return device && udev_device_get_property_value(device.get(), "ID_INPUT_MOUSE") != nullptr;
}

// A mouse's clone as libinput (through its path backend, keeping its wheel scroll events) and
// evdev read it.
class Watched {
public:
    struct Scroll {
        Clock::time_point at;
        double vertical = 0.0, horizontal = 0.0;  // v120: 120 a detent, positive down and right
    };

    explicit Watched(const std::string& eventNode)
        : libinput_(libinput_path_create_context(&kInterface, nullptr), libinput_unref),
          evdev_(eventNode) {
        if (!libinput_ || !libinput_path_add_device(libinput_.get(), eventNode.c_str()))
            throw std::runtime_error("libinput does not take " + eventNode);
    }

    void pump() {
        libinput_dispatch(libinput_.get());
        while (libinput_event* event = libinput_get_event(libinput_.get())) {
            if (libinput_event_get_type(event) == LIBINPUT_EVENT_POINTER_SCROLL_WHEEL) {
                libinput_event_pointer* pointer = libinput_event_get_pointer_event(event);
                const auto v120 = [pointer](libinput_pointer_axis axis) {
                    return libinput_event_pointer_has_axis(pointer, axis)
                               ? libinput_event_pointer_get_scroll_value_v120(pointer, axis)
                               : 0.0;
                };
                scrolls.push_back({Clock::time_point(std::chrono::microseconds(
                                       libinput_event_pointer_get_time_usec(pointer))),
                                   v120(LIBINPUT_POINTER_AXIS_SCROLL_VERTICAL),
                                   v120(LIBINPUT_POINTER_AXIS_SCROLL_HORIZONTAL)});
            }
            libinput_event_destroy(event);
        }
        for (TimedFrame& frame : evdev_.readFrames()) frames.push_back(std::move(frame));
    }

    // One entry a detent: a frame of a long glide may step several at once.
    std::vector<int> legacySteps(std::uint16_t code) const {
        std::vector<int> steps;
        for (const TimedFrame& frame : frames)
            for (const InputEvent& event : frame.events)
                if (event.code == code)
                    steps.insert(steps.end(), std::abs(event.value), event.value > 0 ? 1 : -1);
        return steps;
    }
    // An X server's core clicks from a running sum of the vertical v120: one each time it reaches
    // a whole detent either way, the rest kept across pauses and turns. As legacy steps: positive
    // up.
    std::vector<int> coreClicks() const {
        std::vector<int> clicks;
        double sum = 0.0;
        for (const Scroll& scroll : scrolls) {
            sum += scroll.vertical;
            for (; sum >= 120.0; sum -= 120.0) clicks.push_back(-1);
            for (; sum <= -120.0; sum += 120.0) clicks.push_back(1);
        }
        return clicks;
    }
    std::vector<Scroll> scrolls;
    std::vector<TimedFrame> frames;  // what evdev read so far

private:
    static int openRestricted(const char* path, int flags, void*) {
        const int fd = open(path, flags | O_CLOEXEC);
        return fd < 0 ? -errno : fd;
    }
    static void closeRestricted(int fd, void*) { close(fd); }
    static constexpr libinput_interface kInterface{&openRestricted, &closeRestricted};

    std::unique_ptr<libinput, decltype(&libinput_unref)> libinput_;
    EventReader evdev_;
};

// Each row on a 59.94 Hz display whose vblanks pace the glides, its clones read by libinput.
class WhatApplicationsReceive : public ScenarioTest {
protected:
    // The clone tagged by udev, and read by libinput and evdev.
    void watch(TestMouse& mouse) override {
        const std::string clone = cloneOf(mouse);
        if (!waitUntil([&] { return taggedByUdev(clone); }))
            throw std::runtime_error("udev did not tag " + clone);
        watching.emplace_back(clone);
    }
    void pump() override {
        for (Watched& watched : watching) watched.pump();
    }

    // Whole detents with their legacy steps, on which libinput's core clicks agree.
    void expectWholeDetents() const;
    // The first scroll at the first refresh after the notch; each glide's frames at its own pace,
    // none held back by libinput, and over within 30 refreshes of the notch before them (50 for a
    // glide accelerated six times, which goes further at the same pace).
    void expectGlidePace(const std::vector<Clock::time_point>& sent);
    // Glide and settling post at most once a refresh on each clone, and end within 6 refreshes
    // of the glide's last post.
    void expectOnePostARefresh();

    TestCompositor compositor;
    VblankClock vblanks;
    std::deque<Watched> watching;
};

void WhatApplicationsReceive::expectWholeDetents() const {
    double vertical = 0, horizontal = 0;
    std::vector<int> clicks, verticalSteps, horizontalSteps;
    for (const Watched& watched : watching) {
        for (const Watched::Scroll& scroll : watched.scrolls)
            vertical += scroll.vertical, horizontal += scroll.horizontal;
        std::ranges::copy(watched.coreClicks(), std::back_inserter(clicks));
        std::ranges::copy(watched.legacySteps(REL_WHEEL), std::back_inserter(verticalSteps));
        std::ranges::copy(watched.legacySteps(REL_HWHEEL), std::back_inserter(horizontalSteps));
    }
    const Scenario& row = GetParam();
    EXPECT_EQ(std::tie(vertical, horizontal, verticalSteps, horizontalSteps),
              std::tie(row.vertical, row.horizontal, row.verticalSteps, row.horizontalSteps));
    EXPECT_EQ(clicks, verticalSteps) << "libinput's core clicks and the clone's steps disagree";
}

void WhatApplicationsReceive::expectGlidePace(const std::vector<Clock::time_point>& sent) {
    const double glideRefreshes = 30 + 20 * GetParam().acceleration;
    const Watched& first = watching[GetParam().steps.front().mouse];
    ASSERT_FALSE(first.scrolls.empty() || first.frames.empty());
    // libinput releases the first frame at once, one refresh after the notch.
    EXPECT_EQ(first.scrolls.front().at, first.frames.front().at);
    EXPECT_LE(first.scrolls.front().at - sent.front(), kRefresh + kEmulationSlack);
    std::size_t wheelFrames = 0;
    for (const Watched& watched : watching) {
        // A glide moved onto another mouse's clone is not raised there again: libinput holds
        // that clone's first units back, as it does a slow wheel's, until half a detent came.
        const bool glideStartedHere = &watched == &first;
        for (const Clock::time_point at : wheelFramesOf(watched.frames)) {
            ++wheelFrames;
            EXPECT_TRUE(!glideStartedHere || std::ranges::any_of(watched.scrolls, [&](auto& s) {
                return s.at >= at && s.at - at <= 5ms;
            })) << "a wheel frame held back by libinput";
            const auto after = std::upper_bound(sent.begin(), sent.end(), at);
            ASSERT_NE(after, sent.begin()) << "a wheel frame before the first notch";
            EXPECT_LE(at - *std::prev(after), glideRefreshes * kRefresh + 100ms);
        }
    }
    EXPECT_GE(wheelFrames, 3 * GetParam().steps.size()) << "glides come in frames, not lumps";
}

void WhatApplicationsReceive::expectOnePostARefresh() {
    int doubled = 0, refreshes = 0;
    Clock::time_point lastFrame;
    for (const Watched& watched : watching) {
        const std::vector<Clock::time_point> frames = wheelFramesOf(watched.frames);
        if (!frames.empty()) lastFrame = std::max(lastFrame, frames.back());
        const Judder clone = judder(vblanks.vblanks(), frames);
        doubled += static_cast<int>(clone.doubled.size()), refreshes += clone.refreshes;
    }
    const Milliseconds settled = lastFrame - lastEnginePost();
    std::printf(
        "libinput: %s: %d vblank intervals, %d with two frames; the last %.1f ms after the "
        "glide's last post\n",
        GetParam().name, refreshes, doubled, settled.count());
    EXPECT_EQ(doubled, 0) << "two posts of one clone in one refresh";
    EXPECT_LE(settled, 6 * kDisplayRefresh) << "the glide settled late";
}

TEST_P(WhatApplicationsReceive, WholeDetentsAtTheGlidesPaceFromTheFirstRefreshOnceARefresh) {
    SKIP_WITHOUT_DISPLAY();
    ASSERT_TRUE(compositor.ready()) << "the test compositor is not the display's master";
    const std::vector<Clock::time_point> sent = play();
    expectWholeDetents();
    expectGlidePace(sent);
    expectOnePostARefresh();
}

INSTANTIATE_TEST_SUITE_P(Scenarios, WhatApplicationsReceive, ::testing::ValuesIn(kScenarios),
                         [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace glidewheel::devicetest
