// SPDX-License-Identifier: MIT

// Wheel frames to scroll events and back, and glides to the wheel codes their clones write.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <future>
#include <numeric>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "engine/scroll_interceptor.h"
#include "engine/smooth_scroller.h"
#include "platform/linux/input/wheel/high_resolution_wheel.h"
#include "platform/linux/input/wheel/settlement_schedule.h"
#include "platform/linux/input/wheel/wheel_frame.h"
#include "platform/linux/input/wheel/wheel_posting.h"
#include "platform/sim/sim_display_link.h"

namespace glidewheel::platform::linuxdesktop {
namespace {

using namespace std::chrono_literals;
using Codes = WheelCodes;
using Clock = WheelClock;
using Frame = std::vector<input_event>;
constexpr auto kFrame = 16667us;  // one refresh at 60 Hz
constexpr WheelResolution kHighResolution{true, true};
constexpr WheelResolution kLegacyOnly{false, false};

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
    const struct {
        std::vector<Frame> frames;  // all but the last deliver nothing
        WheelResolution resolution;
        std::int64_t lines1, lines2;
        double points1, points2;
    } cases[] = {
        // Eighths of a detent; only the fine units count, not the legacy step with the last.
        {{units(15),
          units(15),
          units(15),
          units(15),
          units(15),
          units(15),
          units(15),
          {rel(REL_WHEEL, 1), rel(REL_WHEEL_HI_RES, 15), kReport}},
         kHighResolution,
         1,
         0,
         1.0,
         0},
        {{units(90), units(-60), units(-60)}, kHighResolution, -1, 0, -1.0, 0},  // a turn drops 90
        {{{rel(REL_WHEEL_HI_RES, -180), rel(REL_HWHEEL_HI_RES, -240), rel(REL_HWHEEL, -2),
           kReport}},
         kHighResolution,
         -1,
         -2,
         -1.5,
         -2.0},  // lines truncate towards zero
        {{{rel(REL_WHEEL, -2), rel(REL_HWHEEL, 1), kReport}}, kLegacyOnly, -2, 1, -2.0, 1.0},
    };
    for (const auto& c : cases) {
        DetentAccumulator detents;
        for (int round = 0; round < 2; ++round) {  // a release leaves nothing behind
            for (std::size_t i = 0; i + 1 < c.frames.size(); ++i)
                EXPECT_FALSE(wheelEvent(detents.add(wheelMotion(c.frames[i], c.resolution))));
            const auto event = wheelEvent(detents.add(wheelMotion(c.frames.back(), c.resolution)));
            ASSERT_TRUE(event.has_value());
            EXPECT_EQ(std::make_tuple(event->type(),
                                      event->integerValue(kCGScrollWheelEventDeltaAxis1),
                                      event->integerValue(kCGScrollWheelEventDeltaAxis2),
                                      event->doubleValue(kCGScrollWheelEventPointDeltaAxis1),
                                      event->doubleValue(kCGScrollWheelEventPointDeltaAxis2)),
                      std::make_tuple(kCGEventScrollWheel, c.lines1, c.lines2, c.points1,
                                      c.points2));
        }
    }
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
}

// --- One glide's units ---

TEST(GlideLedger, RaisesAGlidesFirstUnitsWithinItsAimRepaysTheLeadAndSettlesTheRest) {
    enum Kind { aim, post, settle };
    struct Step {
        Kind kind;
        double units;        // aim: the target; post: the amount; settle: what is unposted
        bool raise = false;  // post: libinput would hold it back, and it may be raised
        int expected = 0;    // post, settle: the units that go out
    };
    const std::vector<std::vector<Step>> runs = {
        // One notch at speed 1.0 after a pause: raised to 60, the 45 ahead repaid half a post at
        // a time, and the 14 left unposted settled: 120 in all.
        {{aim, 120},
         {post, 15, true, 60},
         {post, 13, false, 6},
         {post, 21, false, 10},
         {post, 16, false, 8},
         {post, 13, false, 6},
         {post, 14, false, 7},
         {post, 14, false, 9},
         {settle, 14, false, 14}},
        // The clone is already scrolling this way: nothing to raise.
        {{aim, 120}, {post, 15, false, 15}, {settle, 105, false, 105}},
        // Speed 0.3 aims at 36 units: raised no further than that, and nothing is left to settle.
        {{aim, 36}, {post, 15, true, 36}, {settle, 21, false, 0}},
        // A turn cuts a raised glide short: what it still owes is settled net of its lead; the
        // new glide is raised in its own direction.
        {{aim, 120},
         {post, 15, true, 60},
         {settle, 105, false, 60},
         {aim, -120},
         {post, -15, true, -60},
         {settle, -105, false, -60}},
        // Posts the engine never announced are not raised; a glide never settles backwards.
        {{post, 15, true, 15},
         {settle, 0, false, 0},
         {aim, 120},
         {post, 130, false, 130},
         {settle, -10, false, 0}},
        // Speed 10, smoothness 0: posts far past the threshold go out as asked.
        {{aim, 1200}, {post, 360, true, 360}, {post, 252, false, 252}, {settle, 588, false, 588}},
    };
    for (const int direction : {1, -1}) {
        for (std::size_t run = 0; run < runs.size(); ++run) {
            GlideLedger ledger;
            for (std::size_t i = 0; i < runs[run].size(); ++i) {
                const Step& step = runs[run][i];
                const double points = direction * step.units / kUnitsPerPoint;
                if (step.kind == aim) {
                    ledger.aim(points);
                    continue;
                }
                const int out =
                    step.kind == post ? ledger.post(points, step.raise) : ledger.settle(points);
                EXPECT_EQ(out, direction * step.expected) << "run " << run << ", step " << i;
            }
        }
    }
}

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
    const auto timeout =
        std::chrono::duration_cast<std::chrono::microseconds>(CloneWheel::kScrollTimeout);
    struct Step {
        WheelAxis axis;
        int units;
        std::chrono::microseconds after;
        bool newScroll;  // as libinput would see units sent now
        int detents;     // legacy steps that go with them
    };
    constexpr auto V = WheelAxis::vertical;
    constexpr auto H = WheelAxis::horizontal;
    const std::vector<Step> steps = {
        {V, 120, kFrame, true, 1},          {V, 70, kFrame, false, 0},   {V, 70, kFrame, false, 1},
        {H, 70, kFrame, true, 0},  // another axis: a new scroll; its steps count apart
        {V, 30, kFrame, true, 0},  // and back
        {V, -150, kFrame, true, 0},         {V, -70, kFrame, false, -1}, {V, -60, kFrame, false, 0},
        {V, -60, timeout - 1ms, false, -1}, {V, -60, timeout, true, 0},  {H, 50, kFrame, true, 1},
    };
    CloneWheel wheel;
    Clock::time_point now{};
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const Step& step = steps[i];
        now += step.after;
        const int direction = step.units > 0 ? 1 : -1;
        EXPECT_EQ(wheel.startsNewScroll(step.axis, direction, now), step.newScroll) << i;
        EXPECT_EQ(wheel.commit(step.axis, step.units), step.detents) << i;
        wheel.sent(step.axis, direction, now);
    }
}

TEST(SettlementSchedule, SpreadsPiecesNoLargerThanAskedOverAtMost90Milliseconds) {
    using std::chrono::microseconds;
    const struct {
        Codes codes;
        int largest;
        std::vector<std::pair<int, int>> pieces;  // units, microseconds after the plan
    } cases[] = {
        {{15, 0}, 14, {{7, 0}, {8, 16667}}},
        {{-30, -1}, 12, {{-10, 0}, {-10, 16667}, {-10, 33334}}},
        {{120, 1},
         12,
         {{12, 0},
          {12, 10000},
          {12, 20000},
          {12, 30000},
          {12, 40000},
          {12, 50000},
          {12, 60000},
          {12, 70000},
          {12, 80000},
          {12, 90000}}},
        {{3, 0}, 0, {{1, 0}, {1, 16667}, {1, 33334}}},  // a size of at least one unit
        {{5, 0}, 60, {{5, 0}}},
    };
    for (const auto& c : cases) {
        SettlementSchedule schedule;
        const Clock::time_point start{std::chrono::seconds(1)};
        schedule.plan(7, WheelAxis::horizontal, c.codes, c.largest, start);
        std::vector<std::pair<int, int>> pieces;
        int detents = 0;
        while (const auto deadline = schedule.nextDeadline()) {
            for (const auto& piece : schedule.due(*deadline)) {
                EXPECT_EQ(std::make_pair(piece.clone, piece.axis),
                          std::make_pair(std::uint64_t{7}, WheelAxis::horizontal));
                detents += piece.codes.detents;
                pieces.emplace_back(
                    piece.codes.units,
                    static_cast<int>(
                        std::chrono::duration_cast<microseconds>(*deadline - start).count()));
            }
        }
        EXPECT_EQ(pieces, c.pieces) << c.codes.units;
        EXPECT_EQ(detents, c.codes.detents);
    }
}

TEST(SettlementSchedule, ScrollThatTurnsOrChangesAxisTakesTheClonesPlannedPiecesFirst) {
    const Clock::time_point now{};
    const struct {
        std::uint64_t clone;
        WheelAxis axis;
        int direction;
        int taken;  // units taken at once
    } cases[] = {
        {1, WheelAxis::vertical, 1, 0},    // more of the same: the plan goes on
        {2, WheelAxis::vertical, -1, 0},   // another clone
        {1, WheelAxis::vertical, -1, 24},  // a turn
        {1, WheelAxis::horizontal, 1, 24},
    };
    for (const auto& c : cases) {
        SettlementSchedule schedule;
        schedule.plan(1, WheelAxis::vertical, {36, 0}, 12, now);
        ASSERT_EQ(schedule.due(now).size(), 1u);
        int taken = 0;
        for (const auto& piece : schedule.takeUnlike(c.clone, c.axis, c.direction))
            taken += piece.codes.units;
        EXPECT_EQ(taken, c.taken);
        EXPECT_EQ(schedule.nextDeadline().has_value(), c.taken == 0);
    }
}

// --- Glides of the real engine, through to what the clones write ---

// The engine on a hand-ticked 60 Hz display link, its posts and glide accounts going through
// WheelPosting on simulated time, as the evdev backend passes them.
class GlideBench final : public EventTapService {
public:
    struct Written {
        Clock::time_point at;
        WheelPosting::Write write;
        bool settling;  // written after its glide's last frame
    };

    ~GlideBench() override { scroller_.reset(); }

    // A notch on the mouse whose clone is `clone`, as the interceptor hands it to the engine.
    void notch(std::uint64_t clone, int direction, double speed, double smoothness,
               bool horizontal = false) {
        Event event(kCGEventScrollWheel);
        event.setIntegerValue(horizontal ? kCGScrollWheelEventDeltaAxis2
                                         : kCGScrollWheelEventDeltaAxis1,
                              direction);
        event.setDoubleValue(horizontal ? kCGScrollWheelEventPointDeltaAxis2
                                        : kCGScrollWheelEventPointDeltaAxis1,
                             direction);
        notches.push_back(now_);
        scroller_->addScroll(direction, glideDistance(direction, speed),
                             interpolationFactor(smoothness), event, EventTapProxy{clone},
                             horizontal);
    }
    // Refreshes for `span`: what the settlement has due, then the frame.
    void run(Clock::duration span) {
        for (const Clock::time_point end = now_ + span; now_ < end;) {
            now_ += kFrame;
            record(posting_.due(now_), true);
            if (sim::ManualDisplayLink* link = links_.lastManualLink()) link->tick();
        }
    }
    // One refresh at the present time, as the display link's thread runs it.
    void frame() { links_.lastManualLink()->tick(); }
    // The units and legacy steps written so far, on one axis, on every clone or one.
    std::pair<int, int> totals(WheelAxis axis, std::optional<std::uint64_t> clone = {}) const {
        int units = 0, detents = 0;
        for (const Written& w : written) {
            if (w.write.axis != axis || (clone && w.write.clone != *clone)) continue;
            units += w.write.codes.units;
            detents += w.write.codes.detents;
        }
        return {units, detents};
    }

    std::vector<Written> written;
    std::vector<Clock::time_point> notches, ends;
    std::function<void()> duringNextEnd;  // runs as the next end report leaves the engine

    std::unique_ptr<EventTap> createTap(EventTapLocation, EventTapPlacement, EventTapOptions,
                                        EventMask, EventTapCallback, void*) override {
        return nullptr;
    }
    std::unique_ptr<RunLoopSource> createRunLoopSource(EventTap&) override { return nullptr; }
    void postEvent(EventTapProxy proxy, const Event& event) override {
        record(posting_.post(proxy.id, WheelAxis::vertical,
                             event.doubleValue(kCGScrollWheelEventPointDeltaAxis1), now_),
               false);
        record(posting_.post(proxy.id, WheelAxis::horizontal,
                             event.doubleValue(kCGScrollWheelEventPointDeltaAxis2), now_),
               false);
    }
    void glideAimed(const GlideAccount& glide) override { posting_.aim(glide.targetPoints); }
    void glideEnded(const GlideAccount& glide) override {
        if (auto hook = std::exchange(duringNextEnd, nullptr)) hook();
        ends.push_back(now_);
        record(posting_.end(glide.proxy.id,
                            glide.horizontal ? WheelAxis::horizontal : WheelAxis::vertical,
                            glide.unpostedPoints, now_),
               true);
    }

private:
    void record(const std::vector<WheelPosting::Write>& writes, bool settling) {
        for (const auto& write : writes) written.push_back({now_, write, settling});
    }

    Clock::time_point now_{std::chrono::seconds(10)};
    sim::SimDisplayLinkService links_;
    WheelPosting posting_;
    std::unique_ptr<SmoothScroller> scroller_ = std::make_unique<SmoothScroller>(links_, *this);
};

TEST(WheelPosting, NNotchesTotalSpeedTimesNDetentsWithTheirLegacyStepsAtEverySmoothness) {
    for (const double speed : {0.1, 0.5, 1.0, 1.5, 3.0, 10.0}) {
        for (const double smoothness : {0.0, 0.5, 1.0}) {
            for (const auto gap : {1500ms, 30ms}) {  // separate glides; one glide extended
                GlideBench bench;
                std::vector<int> afterEach;  // units once each glide has settled
                for (int notch = 0; notch < 3; ++notch) {
                    bench.notch(1, -1, speed, smoothness);
                    bench.run(gap);
                    afterEach.push_back(bench.totals(WheelAxis::vertical).first);
                }
                bench.run(3s);
                const std::string what = "speed " + std::to_string(speed) + ", smoothness " +
                                         std::to_string(smoothness) + ", " +
                                         std::to_string(gap.count()) + " ms apart";
                const auto [units, detents] = bench.totals(WheelAxis::vertical);
                EXPECT_EQ(units, -std::lround(speed * 3 * kUnitsPerDetent)) << what;
                EXPECT_EQ(detents, units / kUnitsPerDetent) << what;
                if (gap == 1500ms) {
                    // Each glide is over, settled, and has its legacy steps, before the next.
                    for (int notch = 0; notch < 3; ++notch)
                        EXPECT_EQ(afterEach[notch],
                                  -std::lround(speed * (notch + 1) * kUnitsPerDetent))
                            << what;
                }
                // Settling begins at the glide's last frame, is done within 100 ms, and none of
                // its posts outgrows the glide's largest post of its last 100 ms.
                ASSERT_FALSE(bench.ends.empty()) << what;
                for (const GlideBench::Written& w : bench.written) {
                    if (!w.settling) continue;
                    const auto end =
                        *std::prev(std::upper_bound(bench.ends.begin(), bench.ends.end(), w.at));
                    EXPECT_LE(w.at - end, 100ms) << what;
                    int largest = 0;
                    for (const GlideBench::Written& g : bench.written)
                        if (!g.settling && g.at <= end && g.at >= end - 100ms)
                            largest = std::max(largest, std::abs(g.write.codes.units));
                    EXPECT_LE(std::abs(w.write.codes.units),
                              largest > 0 ? largest : static_cast<int>(kUnitsPerPoint))
                        << what;
                }
            }
        }
    }
}

// An X server's core clicks: one each time its running sum of the units reaches a whole
// detent either way; the rest stays for later, across pauses and turns.
std::vector<int> coreClicks(const std::vector<GlideBench::Written>& written) {
    std::vector<int> clicks;
    int sum = 0;
    for (const auto& w : written) {
        sum += w.write.codes.units;
        for (; sum >= kUnitsPerDetent; sum -= kUnitsPerDetent) clicks.push_back(1);
        for (; sum <= -kUnitsPerDetent; sum += kUnitsPerDetent) clicks.push_back(-1);
    }
    return clicks;
}

// Down, up and up again: one click and one legacy step down, then two up, as a plain mouse gives.
void expectDownUpUpAsAPlainMouse(const GlideBench& bench, double smoothness) {
    EXPECT_EQ(coreClicks(bench.written), (std::vector<int>{-1, 1, 1})) << smoothness;
    int down = 0, up = 0;
    for (const auto& w : bench.written)
        (w.write.codes.detents < 0 ? down : up) += std::abs(w.write.codes.detents);
    EXPECT_EQ(std::make_pair(down, up), std::make_pair(1, 2)) << smoothness;
}

TEST(WheelPosting, ATurnMidGlideLeavesWholeDetentsAsAPlainMouseWould) {
    for (const double smoothness : {0.0, 0.5, 1.0}) {
        GlideBench bench;
        bench.notch(1, -1, 1.0, smoothness);  // down
        bench.run(100ms);
        bench.notch(1, 1, 1.0, smoothness);  // up, while the first still glides
        bench.run(1500ms);
        bench.notch(1, 1, 1.0, smoothness);
        bench.run(2s);
        expectDownUpUpAsAPlainMouse(bench, smoothness);
    }
}

// The same turn, with the display link's next frame coming while the input thread still reports
// the glide the turn cut short: the turned glide's post must not reach the clone before the old
// glide is settled, or the two interleave and the down detent never completes.
TEST(WheelPosting, AFrameDuringATurnsReportsWaitsForThemAndStillLeavesWholeDetents) {
    for (const double smoothness : {0.0, 0.5, 1.0}) {
        GlideBench bench;
        bench.notch(1, -1, 1.0, smoothness);  // down
        bench.run(100ms);
        std::thread display;
        bench.duringNextEnd = [&] {
            std::promise<void> ticked;
            std::future<void> done = ticked.get_future();
            display = std::thread([&, ticked = std::move(ticked)]() mutable {
                bench.frame();
                ticked.set_value();
            });
            done.wait_for(200ms);  // ample for the frame, unless it waits for these reports
        };
        bench.notch(1, 1, 1.0, smoothness);  // up, while the first still glides
        display.join();
        bench.run(1500ms);
        bench.notch(1, 1, 1.0, smoothness);
        bench.run(2s);
        expectDownUpUpAsAPlainMouse(bench, smoothness);
        EXPECT_EQ(bench.totals(WheelAxis::vertical).first, kUnitsPerDetent) << smoothness;
    }
}

TEST(WheelPosting, AGlideMovingToAnotherMousesCloneIsNotRaisedAgainAndRepaysItsLead) {
    GlideBench bench;
    bench.notch(1, 1, 1.0, 0.5);
    bench.run(kFrame * 2);
    bench.notch(2, 1, 1.0, 0.5);  // the same glide, extended from the other mouse
    bench.run(2s);
    // Each clone is left on a whole detent.
    EXPECT_EQ(bench.totals(WheelAxis::vertical, 1), std::make_pair(120, 1));
    EXPECT_EQ(bench.totals(WheelAxis::vertical, 2), std::make_pair(120, 1));
    ASSERT_FALSE(bench.written.empty());
    EXPECT_EQ(bench.written.front().write.codes.units, GlideLedger::kReleaseThreshold);
    for (const auto& w : bench.written) {
        if (w.write.clone == 2) {
            EXPECT_LT(w.write.codes.units, 30) << "raised again";
        }
    }
}

TEST(WheelPosting, EachAxisSwitchStartsANewScrollReleasedAtTheFirstFrameAndEndsOnWholeDetents) {
    GlideBench bench;
    const WheelAxis axes[] = {WheelAxis::vertical, WheelAxis::horizontal, WheelAxis::vertical};
    for (const WheelAxis axis : axes) {
        bench.notch(1, 1, 1.0, 0.5, axis == WheelAxis::horizontal);
        bench.run(150ms);
    }
    bench.run(1s);
    // One glide, extended sideways and back: at each switch the axis it leaves is completed at
    // once, and the new one starts with what libinput releases at once.
    for (std::size_t notch = 0; notch < bench.notches.size(); ++notch) {
        const auto first =
            std::find_if(bench.written.begin(), bench.written.end(), [&](const auto& w) {
                return w.at > bench.notches[notch] && w.write.axis == axes[notch];
            });
        ASSERT_NE(first, bench.written.end());
        EXPECT_EQ(first->at - bench.notches[notch], kFrame) << notch;
        EXPECT_EQ(first->write.codes.units, GlideLedger::kReleaseThreshold) << notch;
    }
    EXPECT_EQ(bench.totals(WheelAxis::vertical), std::make_pair(240, 2));
    EXPECT_EQ(bench.totals(WheelAxis::horizontal), std::make_pair(120, 1));
}

}  // namespace
}  // namespace glidewheel::platform::linuxdesktop
