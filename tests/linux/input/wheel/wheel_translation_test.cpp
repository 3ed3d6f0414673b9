// SPDX-License-Identifier: MIT

// Wheel frames to scroll events and back, and glides to the wheel codes their clones write.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <future>
#include <map>
#include <random>
#include <tuple>
#include <utility>
#include <vector>

#include "engine/scroll_interceptor.h"
#include "platform/linux/input/wheel/wheel_accounting.h"
#include "platform/linux/input/wheel/wheel_frame.h"
#include "platform/sim/sim_platform.h"
#include "settings/preferences.h"

namespace glidewheel::platform::linuxdesktop {
namespace {

using namespace std::chrono_literals;
using Clock = WheelClock;
using Frame = std::vector<input_event>;
constexpr auto kFrame = std::chrono::nanoseconds(16'683'350);  // one refresh at 59.94 Hz
constexpr auto kPhase = 1ms;  // how long after its refresh a frame of the link posts
constexpr WheelResolution kHighResolution{true, true};
constexpr WheelResolution kLegacyOnly{false, false};
constexpr auto V = WheelAxis::vertical;
constexpr auto H = WheelAxis::horizontal;

input_event ev(__u16 type, __u16 code, __s32 value) { return {{}, type, code, value}; }
input_event rel(__u16 code, __s32 value) { return ev(EV_REL, code, value); }
const input_event kReport = ev(EV_SYN, SYN_REPORT, 0);

std::vector<std::tuple<int, int, int>> codes(const Frame& frame) {
    std::vector<std::tuple<int, int, int>> out;
    for (const input_event& event : frame) out.emplace_back(event.type, event.code, event.value);
    return out;
}

TEST(WheelFrame, BecomesAnEventOncePerDetentCarryingAllThatBuiltUp) {
    const auto units = [](int value) { return Frame{rel(REL_WHEEL_HI_RES, value), kReport}; };
    using Expected = std::tuple<std::int64_t, std::int64_t, double, double>;  // lines, points
    const struct {
        std::vector<Frame> frames;  // all but the last deliver nothing
        WheelResolution resolution;
        Expected expected;
    } cases[] = {
        // Eighths of a detent; only the fine units count, not the legacy step with the last.
        {{units(15), units(15), units(15), units(15), units(15), units(15), units(15),
          Frame{rel(REL_WHEEL, 1), rel(REL_WHEEL_HI_RES, 15), kReport}},
         kHighResolution,
         {1, 0, 1.0, 0.0}},
        {{units(90), units(-60), units(-60)}, kHighResolution, {-1, 0, -1.0, 0.0}},  // a turn
        // Lines truncate towards zero. Where both wheels turned the event carries the vertical
        // one: the engine glides one axis per event.
        {{{rel(REL_WHEEL_HI_RES, -180), rel(REL_HWHEEL_HI_RES, -240), rel(REL_HWHEEL, -2),
           kReport}},
         kHighResolution,
         {-1, 0, -1.5, 0.0}},
        {{{rel(REL_HWHEEL, 1), kReport}}, kLegacyOnly, {0, 1, 0.0, 1.0}},
    };
    for (const auto& c : cases) {
        DetentAccumulator detents;
        for (int round = 0; round < 2; ++round) {  // a release leaves nothing behind
            for (std::size_t i = 0; i + 1 < c.frames.size(); ++i)
                EXPECT_FALSE(wheelEvent(detents.add(wheelMotion(c.frames[i], c.resolution)),
                                        frameTime(c.frames[i])));
            const auto event = wheelEvent(detents.add(wheelMotion(c.frames.back(), c.resolution)),
                                          frameTime(c.frames.back()));
            ASSERT_TRUE(event.has_value());
            EXPECT_EQ(event->type(), kCGEventScrollWheel);
            EXPECT_EQ(Expected(event->integerValue(kCGScrollWheelEventDeltaAxis1),
                               event->integerValue(kCGScrollWheelEventDeltaAxis2),
                               event->doubleValue(kCGScrollWheelEventPointDeltaAxis1),
                               event->doubleValue(kCGScrollWheelEventPointDeltaAxis2)),
                      c.expected);
        }
    }
    // Swallowing that event keeps the horizontal units, which then pass to the clone.
    EXPECT_EQ(passingMotion({-180, -240}, true).horizontal, -240);
    EXPECT_FALSE(passingMotion({0, -240}, true).any());
    // The event carries the time the kernel stamped on the frame's report.
    Frame stamped{rel(REL_WHEEL, 1), kReport};
    stamped.back().time = {2, 500};
    EXPECT_EQ(wheelEvent(wheelMotion(stamped, kLegacyOnly), frameTime(stamped))->timestamp(),
              std::chrono::nanoseconds(2'000'500'000));
}

TEST(WheelFrame, CloneFrameWritesTheWheelThatPassesAndLeavesTheRestInOrder) {
    const Frame mixed{rel(REL_X, 4), rel(REL_WHEEL, 1), rel(REL_WHEEL_HI_RES, 15),
                      ev(EV_KEY, BTN_LEFT, 1), kReport};
    const struct {
        Frame frame;
        WheelResolution resolution;
        std::optional<WheelMotion> passed;  // none: as the mouse sent it
        Frame expected;
    } cases[] = {
        {mixed, kHighResolution, WheelMotion{}, {rel(REL_X, 4), ev(EV_KEY, BTN_LEFT, 1), kReport}},
        {{rel(REL_WHEEL_HI_RES, 15), kReport}, kHighResolution, WheelMotion{}, {}},
        {mixed,
         kHighResolution,
         WheelMotion{-300, 0},  // what built up, with its whole detents
         {rel(REL_X, 4), rel(REL_WHEEL, -2), rel(REL_WHEEL_HI_RES, -300), mixed[3], kReport}},
        {mixed, kHighResolution, std::nullopt, mixed},
        // A legacy wheel gains the clone's high-resolution code, saturated if need be.
        {{rel(REL_WHEEL, 2), rel(REL_HWHEEL, -1), kReport},
         kLegacyOnly,
         WheelMotion{240, -120},
         {rel(REL_WHEEL, 2), rel(REL_WHEEL_HI_RES, 240), rel(REL_HWHEEL, -1),
          rel(REL_HWHEEL_HI_RES, -120), kReport}},
        {{rel(REL_WHEEL, INT32_MAX), kReport},
         kLegacyOnly,
         std::nullopt,
         {rel(REL_WHEEL, INT32_MAX), rel(REL_WHEEL_HI_RES, INT32_MAX), kReport}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(codes(cloneFrame(c.frame, c.resolution, c.passed)), codes(c.expected));
    // The clone's wheel is accounted as written: a frame passed as sent keeps the mouse's own
    // units and legacy step, a turn's partial detent included, which the engine never sees.
    const FrameWheel asSent = frameWheel(cloneFrame(mixed, kHighResolution, std::nullopt)),
                     legacy = frameWheel(cases[4].expected);
    EXPECT_TRUE(
        (asSent.vertical == WheelCodes{15, 1} && legacy.horizontal == WheelCodes{-120, -1}));
}

// --- One glide's units, one clone's wheel ---

TEST(GlideLedger, CarriesTheRemainderAcrossPostsAndGlidesAndClampsAbsurdAmounts) {
    GlideLedger ledger;
    ledger.aim(100.0);
    int units = ledger.post(10.0, false);
    for (int i = 0; i < 20; ++i) units += ledger.post(0.05, false);  // 0.6 units each
    EXPECT_EQ(units, 132);
    // 0.5 units left over in the first glide go with the second.
    ledger.aim(1.0);
    EXPECT_EQ(ledger.settle(1.0 / 24), 1);
    EXPECT_EQ(ledger.post(NAN, false), 0);
    EXPECT_EQ(ledger.post(1e300, false), GlideLedger::kMaxUnitsPerPost);
    EXPECT_EQ(ledger.post(-INFINITY, false), -GlideLedger::kMaxUnitsPerPost);
}

TEST(CloneWheel, OneScrollStateForBothAxesAndLegacyStepsPerAxis) {
    constexpr Clock::duration timeout = CloneWheel::kScrollTimeout;
    constexpr Clock::duration kRefresh = 16667us;
    struct Step {
        WheelAxis axis;
        int units;
        Clock::duration after;
        bool heldBack;  // as libinput would see units sent now
        int detents;    // legacy steps that go with them
    };
    // Another axis starts a new scroll whose steps count apart (the 4th), and so does coming back.
    // Legacy steps fall due halfway through a detent of the axis's running total, either way.
    const std::vector<Step> steps = {
        {V, 120, kRefresh, true, 1},       {V, 70, kRefresh, false, 1},
        {V, 70, kRefresh, false, 0},       {H, 70, kRefresh, true, 1},
        {V, 30, kRefresh, true, 0},        {V, -150, kRefresh, true, -1},
        {V, -70, kRefresh, false, 0},      {V, -60, kRefresh, false, -1},
        {V, -60, timeout - 1ms, false, 0}, {V, -60, timeout, true, -1},
        {H, 50, kRefresh, true, 0},        {H, -61, kRefresh, true, -1}};
    CloneWheel wheel;
    Clock::time_point now{};
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const Step& step = steps[i];
        now += step.after;
        const CloneWheel::Units units{step.axis, step.units > 0 ? 1 : -1, now};
        EXPECT_EQ(wheel.holdsBack(units), step.heldBack) << i;
        EXPECT_EQ(wheel.commit(step.axis, step.units), step.detents) << i;
        wheel.onUnits(units);
    }
}

// --- Glides of the real interceptor and engine, through to what the clones write ---

// The interceptor at the given settings on a hand-ticked 60 Hz display link, its posts and
// glide accounts going through WheelAccounting on simulated time, as CloneWriter passes them:
// the link publishes each frame before it runs, and settling runs at the accounting's deadlines.
class GlideBench final : public EventTapService {
public:
    struct Written {
        Clock::time_point at;
        WheelAccounting::Write write;
    };

    GlideBench(double speed, double smoothness) {
        preferences_.setScrollSpeed(speed);
        preferences_.setSmoothness(smoothness);
        for (const std::uint64_t clone : {1, 2}) accounting_.add(clone);
    }
    ~GlideBench() override { interceptor_.smoothScroller().stop(); }

    // A notch of the mouse whose clone is `clone`, as the tap hands it to the interceptor.
    void notch(std::uint64_t clone, int direction, bool horizontal = false) {
        const WheelMotion motion{horizontal ? 0 : direction * kUnitsPerDetent,
                                 horizontal ? direction * kUnitsPerDetent : 0};
        std::optional<Event> event = wheelEvent(motion, now_.time_since_epoch());
        notches.push_back(now_);
        EXPECT_EQ(interceptor_.handleTapEvent({clone}, kCGEventScrollWheel, &*event), nullptr);
    }
    // A detent the mouse passed to its clone itself (a tap that only listens).
    void passed(std::uint64_t clone, int direction) {
        const WheelCodes codes{direction * kUnitsPerDetent, direction};
        accounting_.passed(clone, V, codes, now_);
        written.push_back({now_, {clone, V, codes}});
    }
    // Its tap (disabled, the glide stopped first) or its mouse goes: what it still needs to end
    // on a whole detent is its last write.
    void unplug(std::uint64_t clone, bool disabled = false) {
        if (disabled) interceptor_.smoothScroller().stop();
        record(accounting_.forget(clone, now_));
        unplugged.emplace(clone, now_);
    }
    // Refreshes for `span`: the link's frames while it runs, and what settling has due.
    void run(Clock::duration span) {
        const Clock::time_point end = now_ + span;
        for (;;) {
            const auto deadline = accounting_.nextDeadline(refreshes_);
            if (deadline && *deadline < nextTick_) {
                if (*deadline > end) break;
                now_ = std::max(now_, *deadline);
                record(accounting_.due(now_, refreshes_));
                continue;
            }
            if (nextTick_ > end) break;
            toNextRefresh();
            sim::ManualDisplayLink* link = platform_.displayLinks.lastManualLink();
            if (link != nullptr && link->isRunning()) link->tick();
        }
        now_ = end;
    }
    // Time moves on to the next refresh, whose frame frame() then runs.
    void toNextRefresh() {
        now_ = std::exchange(nextTick_, nextTick_ + kFrame);
        refreshes_.lastNs = (now_ - kPhase).time_since_epoch().count();
    }
    // One frame at the present time, as the display link's thread runs it.
    void frame() { platform_.displayLinks.lastManualLink()->tick(); }
    // The units and legacy steps written so far to one clone's axis.
    std::pair<int, int> totals(std::uint64_t clone, WheelAxis axis) const {
        int units = 0, detents = 0;
        for (const Written& w : written)
            if (w.write.axis == axis && w.write.clone == clone)
                units += w.write.codes.units, detents += w.write.codes.detents;
        return {units, detents};
    }
    // The refresh a time falls in, counted from the first: the link's frames come kPhase into
    // each.
    static long refreshOf(Clock::time_point at) {
        return static_cast<long>((at - kStart) / kFrame);
    }

    std::vector<Written> written;
    std::vector<Clock::time_point> notches, posts;
    std::map<std::uint64_t, Clock::time_point> unplugged;
    std::function<void()> duringNextEnd;  // runs as the next end report leaves the engine

    std::unique_ptr<EventTap> createTap(EventTapLocation, EventTapPlacement, EventTapOptions,
                                        EventMask, EventTapCallback, void*) override {
        return nullptr;
    }
    std::unique_ptr<RunLoopSource> createRunLoopSource(EventTap&) override { return nullptr; }
    void postEvent(EventTapProxy proxy, const Event& event) override {
        posts.push_back(now_);
        for (const auto& [axis, field] : {std::pair{V, kCGScrollWheelEventPointDeltaAxis1},
                                          std::pair{H, kCGScrollWheelEventPointDeltaAxis2}})
            record(accounting_.post(proxy.id, axis, event.doubleValue(field), now_, refreshes_));
    }
    void glideAimed(const GlideAccount& glide) override {
        accounting_.aim(glide.proxy.id, glide.targetPoints);
    }
    void glideEnded(const GlideAccount& glide) override {
        if (auto hook = std::exchange(duringNextEnd, nullptr)) hook();
        record(accounting_.end(glide.proxy.id, glide.horizontal ? H : V, glide.unpostedPoints,
                               glide.cutShort, now_, refreshes_));
    }

private:
    void record(const std::vector<WheelAccounting::Write>& writes) {
        for (const auto& write : writes) written.push_back({now_, write});
    }

    static constexpr Clock::time_point kStart{std::chrono::seconds(10)};
    Clock::time_point now_{kStart + 5ms};
    Clock::time_point nextTick_{kStart + kFrame * 2 + kPhase};
    Refreshes refreshes_{0, kFrame.count()};
    WheelAccounting accounting_;
    sim::SimPlatform platform_;
    Preferences preferences_{platform_.userDefaults, platform_.loginItems};
    // Its wheel events come from the test, its posts and glide accounts go to the bench.
    ScrollInterceptor interceptor_{Services{this, &platform_.displayLinks, &platform_.trust},
                                   preferences_};
};

// A clone's last write, as it goes, is not settling.
bool isLastWrite(const GlideBench& bench, const GlideBench::Written& w) {
    return bench.unplugged.contains(w.write.clone) && w.at >= bench.unplugged.at(w.write.clone);
}

void expectEachCloneWrittenAtMostOnceARefresh(const GlideBench& bench) {
    std::map<std::pair<std::uint64_t, long>, int> perRefresh;
    for (const auto& w : bench.written)
        if (!isLastWrite(bench, w)) ++perRefresh[{w.write.clone, GlideBench::refreshOf(w.at)}];
    for (const auto& [where, writes] : perRefresh)
        EXPECT_EQ(writes, 1) << "clone " << where.first << ", refresh " << where.second;
}

// Every glide: each clone written at most once a refresh, and what follows the glide's last post
// within 6 refreshes of it, each write no larger than the glide's largest of its last 100 ms.
void expectOnTheRefreshes(const GlideBench& bench) {
    expectEachCloneWrittenAtMostOnceARefresh(bench);
    for (std::size_t i = 0; i < bench.notches.size(); ++i) {
        const auto next =
            i + 1 < bench.notches.size() ? bench.notches[i + 1] : Clock::time_point::max();
        const auto lastPost = std::find_if(bench.posts.rbegin(), bench.posts.rend(),
                                           [&](auto at) { return at < next; });
        if (lastPost == bench.posts.rend() || *lastPost < bench.notches[i]) continue;
        int largest = 0;
        for (const auto& w : bench.written)
            if (w.at <= *lastPost && w.at >= *lastPost - 100ms)
                largest = std::max(largest, std::abs(w.write.codes.units));
        for (const auto& w : bench.written) {
            if (w.at <= *lastPost || w.at >= next || isLastWrite(bench, w)) continue;
            EXPECT_LE(GlideBench::refreshOf(w.at) - GlideBench::refreshOf(*lastPost), 6) << i;
            EXPECT_LE(std::abs(w.write.codes.units), largest) << i;
        }
    }
}

TEST(WheelAccounting, NNotchesTotalSpeedTimesNDetentsWithTheirLegacyStepsOnTheRefreshes) {
    for (const double speed : {0.1, 0.5, 1.0, 1.5, 3.0, 10.0}) {
        for (const double smoothness : {0.0, 0.5, 1.0}) {
            for (const auto gap : {1500ms, 30ms}) {  // separate glides; one glide extended
                SCOPED_TRACE(::testing::Message() << "speed " << speed << ", smoothness "
                                                  << smoothness << ", " << gap.count() << " ms");
                GlideBench bench(speed, smoothness);
                std::vector<int> afterEach;  // units once each glide has settled
                for (int notch = 0; notch < 3; ++notch) {
                    bench.notch(1, -1);
                    bench.run(gap);
                    afterEach.push_back(bench.totals(1, V).first);
                }
                bench.run(3s);
                const auto [units, detents] = bench.totals(1, V);
                EXPECT_EQ(units, -std::lround(speed * 3 * kUnitsPerDetent));
                EXPECT_EQ(detents, std::lround(units / double(kUnitsPerDetent)));
                // Each glide is over, settled, and has its legacy steps, before the next.
                for (int notch = 0; gap == 1500ms && notch < 3; ++notch)
                    EXPECT_EQ(afterEach[notch], -std::lround(speed * (notch + 1) * 120));
                expectOnTheRefreshes(bench);
            }
        }
    }
}

TEST(WheelAccounting, ScenariosLeaveWholeDetentsOnEachCloneAndRaiseOnlyNewScrolls) {
    enum Kind { notch, sideways, passed, unplug, disable, turnWithAFrameDuringItsReports };
    struct Step {
        Kind kind;
        std::uint64_t clone;
        int direction;
        std::chrono::milliseconds then;  // run this long after the step
    };
    using Totals = std::map<std::pair<std::uint64_t, WheelAxis>, std::pair<int, int>>;
    const struct {
        const char* name;
        std::vector<Step> steps;
        Totals totals;  // units and legacy steps per clone and axis
        // Whether each step's first write its way reached libinput's threshold: raised past its
        // hold-back (a first post at speed 1 is 15 units).
        std::vector<bool> raised;
    } scenarios[] = {
        {"down, up mid-glide, up again",
         {{notch, 1, -1, 100ms}, {notch, 1, 1, 1500ms}, {notch, 1, 1, 2000ms}},
         {{{1, V}, {120, 1}}},
         {true, true, true}},
        {"the same, a frame coming during the turn's reports",
         {{notch, 1, -1, 100ms},
          {turnWithAFrameDuringItsReports, 1, 1, 1500ms},
          {notch, 1, 1, 2000ms}},
         {{{1, V}, {120, 1}}},
         {true, true, true}},
        // The glide goes on from the other mouse: not raised again there, and each clone is left
        // on a whole detent.
        {"a glide moving to another mouse's clone",
         {{notch, 1, 1, 33ms}, {notch, 2, 1, 2000ms}},
         {{{1, V}, {120, 1}}, {{2, V}, {120, 1}}},
         {true, false}},
        // At each switch the axis left is completed at once, and the new one starts with what
        // libinput releases at once.
        {"a glide switching axes",
         {{notch, 1, 1, 150ms}, {sideways, 1, 1, 150ms}, {notch, 1, 1, 1000ms}},
         {{{1, V}, {240, 2}}, {{1, H}, {120, 1}}},
         {true, true, true}},
        // Both switches come in the refresh of the first glide's first post, the second before
        // the next refresh: what completes the first glide goes at that refresh.
        {"down, sideways and down again within a refresh",
         {{notch, 1, -1, 30ms}, {sideways, 1, 1, 5ms}, {notch, 1, -1, 2000ms}},
         {{{1, V}, {-240, -2}}, {{1, H}, {0, 0}}},
         {true, true}},
        // The second notch comes as the first glide's rest goes out: its posts carry the rest.
        {"a notch as the glide's rest goes out",
         {{notch, 1, 1, 290ms}, {notch, 1, 1, 2000ms}},
         {{{1, V}, {240, 2}}},
         {true, false}},
        // Its posts, and what was sent ahead of them, count as the gone clone's: the mouse whose
        // notch the glide goes on with gets its own detent.
        {"a clone unplugged mid-glide, a notch of another mouse then",
         {{notch, 1, 1, 100ms}, {unplug, 1, 0, 50ms}, {notch, 2, 1, 1000ms}},
         {{{2, V}, {120, 1}}},
         {true, false}},
        {"a clone unplugged early in a flick, a notch of another mouse at once",
         {{notch, 1, 1, 15ms}, {notch, 1, 1, 15ms}, {unplug, 1, 0, 0ms}, {notch, 2, 1, 1000ms}},
         {{{2, V}, {120, 1}}},
         {true, false}},
        {"a glide handed to a clone unplugged before it posts there, then handed back",
         {{notch, 1, 1, 100ms}, {notch, 2, 1, 0ms}, {unplug, 2, 0, 0ms}, {notch, 1, 1, 1000ms}},
         {{{1, V}, {240, 2}}},
         {true, false}},
        {"a glide handed to another mouse, the clone it left unplugged before it posts there",
         {{notch, 1, 1, 100ms}, {notch, 2, 1, 0ms}, {unplug, 1, 0, 1000ms}},
         {{{2, V}, {120, 1}}},
         {true}},
        // A turn or a stop cuts the glide short: its clone settles on the detents its legacy
        // steps announced (2 of the 3 by the turn, 1 of the 3 by the disable), and the detents it
        // never posted are dropped.
        {"three notches flicked down, turned 100 ms later",
         {{notch, 1, -1, 15ms}, {notch, 1, -1, 15ms}, {notch, 1, -1, 100ms}, {notch, 1, 1, 2000ms}},
         {{{1, V}, {-120, -1}}},
         {true, false, true}},
        // Stopped before it posted to the mouse it was handed to: the clone it left is settled.
        {"a glide handed to another mouse, disabled before it posts there",
         {{notch, 1, 1, 100ms}, {notch, 2, 1, 0ms}, {disable, 2, 0, 1000ms}},
         {{{1, V}, {120, 1}}, {{2, V}, {0, 0}}},
         {true}},
        // Disabled mid-glide: settled so before the tap lets go of the clone.
        {"three notches, disabled mid-glide",
         {{notch, 1, 1, 15ms}, {notch, 1, 1, 15ms}, {notch, 1, 1, 50ms}, {disable, 1, 0, 1000ms}},
         {{{1, V}, {120, 1}}},
         {true, false}},
        // The mouse's own detent scrolled the clone just before: libinput holds nothing back.
        {"a detent passed by a listening tap, then a notch the same way",
         {{passed, 1, 1, 100ms}, {notch, 1, 1, 1000ms}},
         {{{1, V}, {240, 2}}},
         {false}},
        {"a detent passed, then a notch the other way",
         {{passed, 1, -1, 100ms}, {notch, 1, 1, 1000ms}},
         {{{1, V}, {0, 0}}},
         {true}},
    };
    for (const auto& scenario : scenarios) {
        SCOPED_TRACE(scenario.name);
        GlideBench bench(1.0, 0.5);
        std::vector<bool> raised;
        for (const Step& step : scenario.steps) {
            const std::size_t before = bench.written.size();
            if (step.kind == notch || step.kind == sideways) {
                bench.notch(step.clone, step.direction, step.kind == sideways);
            } else if (step.kind == passed) {
                bench.passed(step.clone, step.direction);
            } else if (step.kind == unplug || step.kind == disable) {
                bench.unplug(step.clone, step.kind == disable);
            } else {
                std::future<void> display;  // waited for as it goes
                bench.toNextRefresh();      // the notch comes as the refresh whose frame it meets
                bench.duringNextEnd = [&] {
                    display = std::async(std::launch::async, [&] { bench.frame(); });
                    // Ample for the frame, unless it waits for the reports.
                    display.wait_for(200ms);
                };
                bench.notch(step.clone, step.direction);
                ASSERT_TRUE(display.valid()) << "the turn ended no glide";
            }
            bench.run(step.then);
            const WheelAxis axis = step.kind == sideways ? H : V;
            for (std::size_t i = before; step.kind != passed && i < bench.written.size(); ++i) {
                const WheelCodes& codes = bench.written[i].write.codes;
                // What settles a glide that a turn or a stop cut short moves the clone to the
                // nearest detent, never further than half a detent.
                EXPECT_FALSE((codes.units * step.direction < 0 || step.direction == 0) &&
                             std::abs(codes.units) > GlideLedger::kReleaseThreshold)
                    << i;
                if (bench.written[i].write.axis != axis || codes.units * step.direction <= 0)
                    continue;
                raised.push_back(std::abs(codes.units) >= GlideLedger::kReleaseThreshold);
                break;
            }
        }
        for (const auto& [where, total] : scenario.totals)
            EXPECT_EQ(bench.totals(where.first, where.second), total);
        EXPECT_EQ(raised, scenario.raised);
        for (const auto& [clone, at] : bench.unplugged)
            for (const auto& w : bench.written) EXPECT_FALSE(w.write.clone == clone && w.at > at);
        expectOnTheRefreshes(bench);
    }
}

// Notches of two mice on both axes, both ways, at any moment of a refresh, at whole speeds, the
// second mouse unplugged at some point, as the soak turns the wheels: however they meet the
// refreshes, each clone is written at most once in one and ends on whole detents. (A glide
// handed between mice sends what completes the clone it leaves ahead, in pieces that the size
// rule of a glide's own settling does not bound.)
TEST(WheelAccounting, NotchesAtRandomMomentsKeepEveryCloneOnTheRefreshesAndWholeDetents) {
    for (unsigned seed = 1; seed <= 2000; ++seed) {
        SCOPED_TRACE(::testing::Message() << "seed " << seed);
        std::mt19937 random(seed);
        GlideBench bench(1 + seed % 3, seed / 3 % 3 * 0.5);
        bool unplugged = false;  // the second mouse, at random
        for (int step = 0; step < 16; ++step) {
            const std::uint64_t mouse = 1 + random() % 2;
            const int direction = random() % 2 ? 1 : -1;
            const bool sideways = random() % 3 == 0;
            if (!unplugged && random() % 10 == 0)
                bench.unplug(2), unplugged = true;
            else if (mouse == 1 || !unplugged)
                bench.notch(mouse, direction, sideways);
            bench.run(std::chrono::microseconds(random() % 200'000));
        }
        bench.run(3s);
        expectEachCloneWrittenAtMostOnceARefresh(bench);
        for (const std::uint64_t clone : {1, 2}) {
            for (const WheelAxis axis : {V, H}) {
                const auto [units, detents] = bench.totals(clone, axis);
                EXPECT_EQ(units, detents * kUnitsPerDetent) << "clone " << clone;
            }
        }
    }
}

}  // namespace
}  // namespace glidewheel::platform::linuxdesktop
