// SPDX-License-Identifier: MIT

// The soak: for minutes or an hour, two mice moving at 1000 Hz are scrolled at random (both
// axes, both ways, at any pace from a fast spin to single notches) and their buttons go down and
// up, while a third mouse comes and goes and the settings change as a person changes them. It
// runs in rounds of 20 s, each ending once every glide has settled: then nothing sent may be
// missing from the clones, each clone stands on whole detents that its legacy steps agree with,
// no clone got two wheel frames in one refresh, and no button is held. Resident memory and open
// descriptors are compared after three rounds of warm-up and at the end. Only scripts/soak runs it,
// giving its length and, to replay a run, its seed.

#include <malloc.h>

#include <array>
#include <iostream>
#include <random>
#include <set>
#include <sstream>

#include "engine/scroll_interceptor.h"
#include "tests/device/test_devices.h"

namespace glidewheel::devicetest {
namespace {

constexpr auto kRound = 20s;
constexpr int kWarmUp = 3;     // rounds
constexpr auto kSettled = 3s;  // outlasts the longest glide: many notches at speed 4, smoothness 1

// "--soak-NAME=VALUE" from the test binary's command line, or `otherwise`.
std::uint64_t soakArgument(const std::string& name, std::uint64_t otherwise) {
    std::ifstream in("/proc/self/cmdline");
    const std::string prefix = "--soak-" + name + "=";
    for (std::string arg; std::getline(in, arg, '\0');)
        if (arg.starts_with(prefix)) return std::stoull(arg.substr(prefix.size()));
    return otherwise;
}

struct Resources {
    long residentKb = 0, heapKb = 0, descriptors = 0;  // the heap: what malloc has handed out
};

// Freed heap is given back first, so what stays resident is what is still held.
Resources resources() {
    malloc_trim(0);
    Resources now{.heapKb = static_cast<long>(mallinfo2().uordblks / 1024)};
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.starts_with("VmRSS:")) now.residentKb = std::stol(line.substr(6));
    now.descriptors = std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {});
    return now;
}

// What the soak did, and when: what a failing run's report shows before the failure.
using Actions = std::vector<std::pair<Clock::time_point, std::string>>;

// Each refresh in which the clone got two wheel frames or more: the frames, in ms from the
// refresh's vblank, and what the soak did in the 1.5 s before it.
void reportDoubled(const std::string& what, const Judder& clone,
                   const std::vector<TimedFrame>& frames, const Actions& actions) {
    for (const auto& [from, to] : clone.doubled) {
        std::cout << "soak: " << what << ": two wheel frames after vblank " << from.sequence;
        for (const TimedFrame& frame : frames) {
            if (frame.at < from.at || frame.at >= to.at) continue;
            std::ostringstream wheel;
            for (const InputEvent& e : frame.events)
                if (e.type == EV_REL && e.code >= REL_HWHEEL) PrintTo(e, &wheel), wheel << ' ';
            if (!wheel.str().empty())
                std::cout << " +" << Milliseconds(frame.at - from.at).count()
                          << " ms: " << wheel.str();
        }
        std::cout << "\n";
        for (const auto& [at, action] : actions)
            if (at > from.at - 1500ms && at < to.at)
                std::cout << "  " << Milliseconds(at - from.at).count() << " ms: " << action
                          << "\n";
    }
}

using Soak = GlideTest;

TEST_F(Soak, DISABLED_RandomWheelMotionButtonsMiceAndSettings) {
    SKIP_WITHOUT_DISPLAY();
    TestCompositor compositor;
    ASSERT_TRUE(compositor.ready()) << "the test compositor is not the display's master";
    const std::uint64_t seconds = soakArgument("seconds", 600);
    const std::uint64_t seed = soakArgument("seed", std::random_device{}());
    std::cout << "soak: seed " << seed << ", " << seconds << " s" << std::endl;
    // Fixed thresholds, as glibc's dynamic ones would rise with the megabytes of frames each
    // round records and frees, and then keep them resident.
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
    mallopt(M_TRIM_THRESHOLD, 128 * 1024);
    std::mt19937_64 random(seed);
    const auto between = [&](int low, int high) {
        return std::uniform_int_distribution(low, high)(random);
    };
    Preferences& settings = Preferences::shared();
    const std::array<TestMouse*, 2> two = {&plugIn(), &plugIn()};
    int notches = 0, motion = 0, lostMotion = 0, buttons = 0, lostButtons = 0, clones = 2;
    int refreshes = 0, doubled = 0;
    bool smoothing = true;
    const auto playRound = [&](int round) {
        VblankClock vblanks;
        std::deque<MotionStream> streams;
        for (TestMouse* mouse : two)
            streams.emplace_back(*mouse, smoothing ? cloneOf(*mouse) : mouse->eventNode());
        std::array<std::set<std::uint16_t>, 2> held;
        std::array<int, 2> sentButtons{};
        std::optional<TestMouse> third;
        Actions actions;
        const auto did = [&](std::string action) { actions.emplace_back(Clock::now(), action); };
        const auto press = [&](std::size_t m, std::uint16_t button, bool down) {
            streams[m].sendBetween({{EV_KEY, button, down}});
            down ? (void)held[m].insert(button) : (void)held[m].erase(button);
            ++sentButtons[m];
        };
        for (const auto roundEnd = Clock::now() + kRound; Clock::now() < roundEnd;) {
            const int pick = between(0, 99);
            const std::size_t m = between(0, third ? 2 : 1);
            if (pick < 70) {
                const int way = between(0, 1) ? 1 : -1;
                const Frame notch =
                    between(0, 2)
                        ? Frame{{EV_REL, REL_WHEEL, way}, {EV_REL, REL_WHEEL_HI_RES, 120 * way}}
                        : Frame{{EV_REL, REL_HWHEEL, way}, {EV_REL, REL_HWHEEL_HI_RES, 120 * way}};
                m < 2 ? streams[m].sendBetween(notch) : third->send(notch);
                ++notches;
                std::ostringstream sent;
                PrintTo(notch.back(), &sent);
                did("notch on mouse " + std::to_string(m + 1) + ": " + sent.str());
            } else if (pick < 85 && m < 2) {
                const std::uint16_t button = between(0, 1) ? BTN_LEFT : BTN_RIGHT;
                press(m, button, !held[m].contains(button));
            } else if (pick < 95) {
                // Whole speeds: at any other a glide aims at part of a detent, which stays in
                // the clone's running total until the next glide the same way completes it.
                if (pick < 89) settings.setScrollSpeed(between(1, 4));
                if (pick >= 89 && pick < 93) settings.setSmoothness(between(0, 20) / 20.0);
                if (pick >= 93) settings.setReverseScroll(!settings.reverseScroll());
                did("speed " + std::to_string(settings.scrollSpeed()) + ", smoothness " +
                    std::to_string(settings.smoothness()) +
                    (settings.reverseScroll() ? ", reversed" : ""));
            } else if (third) {
                EXPECT_TRUE(!smoothing ||
                            waitUntil([&] { return !cloneOf(*third).empty(); }, seldom))
                    << "the third mouse was not taken";
                third.reset();
                did("third mouse unplugged");
            } else {
                third.emplace("glidewheel soak mouse");
                did("third mouse plugged in");
                clones += smoothing;
            }
            const int pace = between(0, 9);
            std::this_thread::sleep_for(std::chrono::milliseconds(pace < 4   ? between(5, 40)
                                                                  : pace < 8 ? between(40, 400)
                                                                             : between(400, 1500)));
        }
        for (std::size_t m = 0; m < 2; ++m)
            for (const std::uint16_t button : std::set(held[m])) press(m, button, false);
        third.reset();
        std::this_thread::sleep_for(kSettled);
        for (std::size_t m = 0; m < 2; ++m) {
            const std::string what = "round " + std::to_string(round) + " mouse " +
                                     std::to_string(m + 1) + (smoothing ? "" : " (not smoothed)");
            MotionStream::Report got = streams[m].stop(what.c_str());
            motion += got.sent, lostMotion += got.lost;
            buttons += sentButtons[m], lostButtons += sentButtons[m] - got.keys;
            EXPECT_EQ(got.keys, sentButtons[m]) << what << ": button events lost";
            EXPECT_TRUE(got.held.empty()) << what << ": a button left held";
            for (const auto& [units, steps] : {std::pair{REL_WHEEL_HI_RES, REL_WHEEL},
                                               std::pair{REL_HWHEEL_HI_RES, REL_HWHEEL}}) {
                auto& sum = got.relative;
                EXPECT_EQ(sum[units] % 120, 0) << what << ": off a whole detent, code " << units;
                EXPECT_EQ(sum[units], 120 * sum[steps]) << what << ": legacy steps disagree";
            }
            if (!smoothing) continue;
            const Judder clone = judder(vblanks.vblanks(), got.wheelFrames);
            refreshes += clone.refreshes, doubled += static_cast<int>(clone.doubled.size());
            reportDoubled(what, clone, streams[m].received(), actions);
        }
        EXPECT_EQ(takenCount(), smoothing ? 2u : 0u) << "round " << round << ": ghost clones";
    };
    Resources start;
    const auto end = Clock::now() + std::chrono::seconds(seconds);
    for (int round = 1;; ++round) {
        playRound(round);
        const Resources now = resources();
        std::cout << "soak: round " << round << ": resident " << now.residentKb << " kB, heap "
                  << now.heapKb << " kB, descriptors " << now.descriptors << std::endl;
        // The warm-up: a round, one without smoothing, and one with it again.
        if (round == kWarmUp) start = now;
        if (smoothing && round > kWarmUp && Clock::now() >= end) break;
        // As the program's switch does: the setting, then the interceptor its observer starts.
        smoothing = round != 1 && (!smoothing || between(0, 4) > 0);
        settings.setIsEnabled(smoothing);
        smoothing ? ScrollInterceptor::shared().start() : ScrollInterceptor::shared().stop();
        clones += smoothing ? 2 : 0;
        const auto switched = [&] {
            const bool cloned = !cloneOf(*two[0]).empty() && !cloneOf(*two[1]).empty();
            return smoothing ? cloned : takenCount() == 0;
        };
        ASSERT_TRUE(waitUntil(switched, seldom)) << "the mice were not taken or let go";
    }
    const Resources finish = resources();
    settings.setScrollSpeed(1.0), settings.setSmoothness(0.5), settings.setReverseScroll(false);
    std::cout << "soak: " << seconds << " s, seed " << seed << ": " << notches << " notches, "
              << motion << " motion frames (" << lostMotion << " lost), " << buttons
              << " button events (" << lostButtons << " lost), " << clones << " clones, "
              << refreshes << " refreshes with wheel frames (" << doubled << " with two), resident "
              << start.residentKb << " kB then " << finish.residentKb << " kB, descriptors "
              << start.descriptors << " then " << finish.descriptors << std::endl;
    EXPECT_EQ(doubled, 0) << "two wheel frames of a clone in one refresh";
    EXPECT_LE(std::abs(finish.residentKb - start.residentKb), 1024) << "resident memory grew";
    EXPECT_EQ(finish.descriptors, start.descriptors) << "descriptors left open";
}

}  // namespace
}  // namespace glidewheel::devicetest
