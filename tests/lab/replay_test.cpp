#include "tools/lab/replay.h"

#include <QXmlStreamReader>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "tools/lab/svg_chart.h"

namespace glidewheel::lab {
namespace {

using namespace glidewheel::platform;

// --- An independent model of what applications should receive from a trace ---
//
// Written from the rules of the glide, not from the engine: a wheel delta is clamped to ±26
// points, pushed 9 points out and scaled by the speed; each frame moves the factor times the
// remaining distance, posts what has gathered once it reaches a point, and the first frame
// moving 0.1 point or less ends the glide. Frames are at k × 1000 / hz ms; an event at or
// before a frame's time comes before it; an idle display link picks up at the first frame at
// or after the event that starts it.
struct ModelEvent {
    long long timeMs;
    double vertical;
    double horizontal;
    long long lines;
    bool shift = false;
};

struct ModelPost {
    unsigned long long frame;
    double amount;
    bool sideways;
    long long verticalLines;
    long long horizontalLines;
};

std::vector<ModelPost> model(std::vector<ModelEvent> events, double speed, double smoothness,
                             bool reverse, long long hz) {
    const double factor = std::pow(0.05 / 0.3, std::min(1.0, std::max(0.0, smoothness))) * 0.3;
    double position = 0, target = 0, last = 0, gathered = 0;
    bool gliding = false, sideways = false;
    long long verticalLines = 0, horizontalLines = 0;
    std::vector<ModelPost> posts;

    const auto handOver = [&](const ModelEvent& e) {
        const bool fromSecondAxis = e.vertical == 0.0;
        double d = fromSecondAxis ? e.horizontal : e.vertical;
        long long lines = e.lines;
        if (reverse) {
            d = -d;
            lines = -lines;
        }
        const double c = std::max(-26.0, std::min(26.0, d));
        const double distance = speed * (c + (c < 0 ? -9.0 : 9.0));
        if (c * last > 0) {
            target += distance;
        } else {
            position = 0;
            gathered = 0;
            target = distance;
        }
        last = c;
        sideways = fromSecondAxis || e.shift;
        verticalLines = fromSecondAxis ? 0 : lines;
        horizontalLines = fromSecondAxis ? lines : 0;
        gliding = true;
    };

    std::stable_sort(events.begin(), events.end(),
                     [](const ModelEvent& a, const ModelEvent& b) { return a.timeMs < b.timeMs; });
    unsigned long long frame = 0;
    std::size_t next = 0;
    while (gliding || next < events.size()) {
        if (!gliding) {
            const ModelEvent& e = events[next++];
            handOver(e);
            const long long first = (e.timeMs * hz + 999) / 1000;  // ceiling
            frame = std::max<unsigned long long>(frame, first > 0 ? first - 1 : 0);
            continue;
        }
        ++frame;
        while (next < events.size() &&
               static_cast<unsigned long long>(events[next].timeMs * hz) <= frame * 1000) {
            handOver(events[next++]);
        }
        const double step = factor * (target - position);
        position += step;
        gathered += step;
        if (std::fabs(gathered) >= 1.0) {
            posts.push_back(ModelPost{frame, gathered, sideways, verticalLines, horizontalLines});
            gathered = 0;
        }
        if (std::fabs(step) <= 0.1) {
            gliding = false;
            position = target = last = gathered = 0;
        }
    }
    return posts;
}

Event toEvent(const ModelEvent& e) {
    Event event(kCGEventScrollWheel, e.shift ? kCGEventFlagMaskShift : 0);
    if (e.vertical != 0.0) {
        event.setDoubleValue(kCGScrollWheelEventPointDeltaAxis1, e.vertical);
        event.setIntegerValue(kCGScrollWheelEventDeltaAxis1, e.lines);
    } else {
        event.setDoubleValue(kCGScrollWheelEventPointDeltaAxis2, e.horizontal);
        event.setIntegerValue(kCGScrollWheelEventDeltaAxis2, e.lines);
    }
    return event;
}

// --- Replays in this process, through the shared interceptor and preferences ---

platform::sim::SimPlatform& sharedPlatform() {
    // Leaked, so that it outlives the shared interceptor and preferences at exit.
    static auto* platform = [] {
        auto* made = new platform::sim::SimPlatform;
        made->install();
        return made;
    }();
    return *platform;
}

ReplayResult replayed(const LabOptions& options) {
    auto& platform = sharedPlatform();
    return replay(options, platform, Preferences::shared(), ScrollInterceptor::shared());
}

LabOptions withEvents(const std::vector<ModelEvent>& events) {
    LabOptions options;
    for (const ModelEvent& e : events) {
        options.events.push_back(TraceEvent{Exact{static_cast<Wide>(e.timeMs), 1}, toEvent(e)});
    }
    return options;
}

// Pointers into `result`, which must outlive them.
std::vector<const Delivery*> glides(const ReplayResult& result) {
    std::vector<const Delivery*> found;
    for (const Delivery& d : result.deliveries) {
        if (d.glide) found.push_back(&d);
    }
    return found;
}

void expectMatchesModel(const LabOptions& options, const std::vector<ModelEvent>& events) {
    ASSERT_EQ(options.refreshHz.denominator, 1u);
    const auto expected = model(events, options.speed, options.smoothness, options.reverse,
                                static_cast<long long>(options.refreshHz.numerator));
    const ReplayResult result = replayed(options);
    const auto posted = glides(result);
    ASSERT_EQ(posted.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(::testing::Message() << "post " << i << " at frame " << expected[i].frame);
        const Event& event = posted[i]->event;
        ASSERT_TRUE(posted[i]->frame.has_value());
        EXPECT_EQ(*posted[i]->frame, expected[i].frame);
        const double onAxis =
            event.doubleValue(expected[i].sideways ? kCGScrollWheelEventPointDeltaAxis2
                                                   : kCGScrollWheelEventPointDeltaAxis1);
        const double offAxis =
            event.doubleValue(expected[i].sideways ? kCGScrollWheelEventPointDeltaAxis1
                                                   : kCGScrollWheelEventPointDeltaAxis2);
        EXPECT_NEAR(onAxis, expected[i].amount, 1e-9);
        EXPECT_EQ(offAxis, 0.0);
        EXPECT_EQ(event.integerValue(kCGScrollWheelEventDeltaAxis1), expected[i].verticalLines);
        EXPECT_EQ(event.integerValue(kCGScrollWheelEventDeltaAxis2), expected[i].horizontalLines);
        const Exact time = posted[i]->timeMs;
        EXPECT_EQ(time.numerator * options.refreshHz.numerator,
                  static_cast<Wide>(expected[i].frame) * 1000 * time.denominator);
    }
}

TEST(Replay, NotchesTurnsAndIdleGapsAgreeWithTheModel) {
    const std::vector<ModelEvent> trace{
        {0, 1.0, 0, 1},      {30, 1.0, 0, 1},    {45, 2.0, 0, 1},        {200, -1.0, 0, -1},
        {210, -3.0, 0, -1},  {260, 1.0, 0, 1},   {2000, 1.0, 0, 1},      {2000, 1.0, 0, 1},
        {2016, -0.5, 0, -1}, {5000, 40.0, 0, 4}, {5010, -1000.0, 0, -9},
    };
    expectMatchesModel(withEvents(trace), trace);
}

TEST(Replay, SettingsReverseSpeedSmoothnessAndRefreshAgreeWithTheModel) {
    const std::vector<ModelEvent> trace{
        {0, 1.0, 0, 1},  {7, 1.0, 0, 1},      {50, 0, -2.0, -1}, {90, 3.0, 0, 1, true},
        {95, 3.0, 0, 1}, {400, -26.0, 0, -2}, {401, 0, 5.0, 1},
    };
    for (const long long hz : {60LL, 75LL, 144LL}) {
        for (const bool reverse : {false, true}) {
            SCOPED_TRACE(::testing::Message() << hz << " Hz, reverse " << reverse);
            LabOptions options = withEvents(trace);
            options.refreshHz = Exact{static_cast<Wide>(hz), 1};
            options.reverse = reverse;
            options.speed = 2.5;
            options.smoothness = 0.8;
            expectMatchesModel(options, trace);
        }
    }
    LabOptions sharp = withEvents(trace);
    sharp.smoothness = -1.0;  // clamped: the shortest glide
    expectMatchesModel(sharp, trace);
}

TEST(Replay, OneNotchGivesTheSevenPostsOfTheWorkedExample) {
    const ReplayResult result = replayed(withEvents({{0, 1.0, 0, 1}}));
    const auto posted = glides(result);
    const std::vector<std::uint64_t> frames{1, 2, 4, 6, 8, 11, 16};
    const std::vector<double> amounts{1.2247, 1.0747, 1.7707, 1.3635, 1.0500, 1.1402, 1.1397};
    ASSERT_EQ(posted.size(), frames.size());
    for (std::size_t i = 0; i < frames.size(); ++i) {
        EXPECT_EQ(posted[i]->frame, frames[i]);
        EXPECT_NEAR(posted[i]->event.doubleValue(kCGScrollWheelEventPointDeltaAxis1), amounts[i],
                    1e-4);
        EXPECT_EQ(posted[i]->event.integerValue(kCGEventSourceUserData), 0x474C494445574C);
    }
    EXPECT_EQ(result.notches.size(), 1u);
    EXPECT_EQ(result.notches[0].distance, 10.0);
}

// Frame 1 is at exactly 1000 / hz ms. A second notch exactly then extends the glide before that
// frame moves, so the frame's step is twice as large; a moment later it comes after the frame.
TEST(Replay, EventExactlyAtAFrameTimeIsHandledBeforeThatFrame) {
    const struct {
        Exact hz;
        Exact atFrame;
        Exact justAfter;
    } rates[] = {
        {{50, 1}, {20, 1}, {20001, 1000}},
        {{60, 1}, {16666666, 1000000}, {16666667, 1000000}},  // 16.666666 × 60 < 1000
        {{125, 1}, {8, 1}, {8000001, 1000000}},
        {{5994, 100}, {16683350, 1000000}, {16683351, 1000000}},  // 59.94 Hz: 16.683350 ms
    };
    for (const auto& rate : rates) {
        SCOPED_TRACE(::testing::Message() << toDouble(rate.hz) << " Hz");
        for (const bool atFrame : {true, false}) {
            LabOptions options;
            options.refreshHz = rate.hz;
            options.events.push_back(TraceEvent{Exact{0, 1}, toEvent({0, 1.0, 0, 1})});
            options.events.push_back(
                TraceEvent{atFrame ? rate.atFrame : rate.justAfter, toEvent({0, 1.0, 0, 1})});
            const ReplayResult result = replayed(options);
            const auto posted = glides(result);
            ASSERT_FALSE(posted.empty());
            EXPECT_EQ(posted[0]->frame, 1u);
            EXPECT_NEAR(posted[0]->event.doubleValue(kCGScrollWheelEventPointDeltaAxis1),
                        atFrame ? 2.4495 : 1.2247, 1e-4)
                << (atFrame ? "at the frame" : "just after it");
        }
    }
}

TEST(Replay, IdleLinkPicksUpAtTheFirstFrameAtOrAfterTheEvent) {
    const struct {
        Exact time;
        std::uint64_t firstFrame;
    } cases[] = {{{1000, 1}, 60}, {{1001, 1}, 61}, {{999, 1}, 60}, {{0, 1}, 1}, {{1, 1000}, 1}};
    for (const auto& c : cases) {
        LabOptions options;
        options.events.push_back(TraceEvent{c.time, toEvent({0, 1.0, 0, 1})});
        const ReplayResult result = replayed(options);
        const auto posted = glides(result);
        ASSERT_FALSE(posted.empty());
        EXPECT_EQ(posted[0]->frame, c.firstFrame) << "event at " << toDouble(c.time) << " ms";
    }
}

TEST(Replay, EventsThatPassReachApplicationsAtTheirOwnTime) {
    LabOptions options;
    Event phased = toEvent({0, 2.0, 0, 1});
    phased.setIntegerValue(kCGScrollWheelEventScrollPhase, 1);
    options.events.push_back(TraceEvent{Exact{25, 2}, phased});
    options.events.push_back(TraceEvent{Exact{3, 1}, toEvent({0, 1.0, 0, 1})});
    const ReplayResult result = replayed(options);
    ASSERT_FALSE(result.deliveries.empty());
    // Sorted by time: the notch at 3 ms, its first frame at 16.667 ms, the phased event at 12.5 ms
    // in between.
    const auto wheel = std::find_if(result.deliveries.begin(), result.deliveries.end(),
                                    [](const Delivery& d) { return !d.glide; });
    ASSERT_NE(wheel, result.deliveries.end());
    EXPECT_EQ(wheel - result.deliveries.begin(), 0);
    EXPECT_EQ(formatMillis(wheel->timeMs), "12.500");
    EXPECT_FALSE(wheel->frame.has_value());
    EXPECT_EQ(wheel->event, phased);

    options.disabled = true;
    const ReplayResult off = replayed(options);
    ASSERT_EQ(off.deliveries.size(), 2u);
    EXPECT_FALSE(off.deliveries[0].glide);
    EXPECT_FALSE(off.deliveries[1].glide);
    EXPECT_EQ(formatMillis(off.deliveries[0].timeMs), "3.000");
}

TEST(Csv, HeaderAndOneRowPerDelivery) {
    LabOptions options = withEvents({{0, 1.0, 0, 1}});
    Event phased = toEvent({0, -2.5, 0, -1});
    phased.setIntegerValue(kCGScrollWheelEventMomentumPhase, 2);
    options.events.push_back(TraceEvent{Exact{500, 1}, phased});
    std::ostringstream out;
    writeCsv(out, replayed(options).deliveries);
    std::istringstream lines(out.str());
    std::string line;
    std::vector<std::string> all;
    while (std::getline(lines, line)) all.push_back(line);
    ASSERT_EQ(all.size(), 9u);
    EXPECT_EQ(all[0], "time_ms,frame,origin,f96,f97,f11,f12,f88,f42");
    EXPECT_EQ(all[1], "16.667,1,glide,1.224745,0.000000,1,0,1,20068600908175180");
    EXPECT_EQ(all[8], "500.000,,wheel,-2.500000,0.000000,-1,0,0,0");
}

// --- The chart ---

struct SvgSummary {
    bool wellFormed = false;
    std::string error;
    std::vector<std::string> polylineIds;
    std::vector<std::size_t> pointCounts;
    std::string text;  // all text content
};

SvgSummary readSvg(const std::string& svg) {
    SvgSummary summary;
    QXmlStreamReader reader(QString::fromStdString(svg));
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement() && reader.name() == QLatin1String("polyline")) {
            summary.polylineIds.push_back(reader.attributes().value("id").toString().toStdString());
            summary.pointCounts.push_back(
                static_cast<std::size_t>(reader.attributes()
                                             .value("points")
                                             .toString()
                                             .split(' ', Qt::SkipEmptyParts)
                                             .size()));
        }
        if (reader.isCharacters()) summary.text += reader.text().toString().toStdString() + "|";
    }
    summary.wellFormed = !reader.hasError();
    summary.error = reader.errorString().toStdString();
    return summary;
}

TEST(SvgChart, WellFormedWithBothSeriesAxesAndLegend) {
    const std::vector<ModelEvent> trace{{0, 1.0, 0, 1}, {40, 1.0, 0, 1}, {300, -2.0, 0, -1}};
    const std::string svg = svgChart(replayed(withEvents(trace)));
    const SvgSummary summary = readSvg(svg);
    ASSERT_TRUE(summary.wellFormed) << summary.error;
    EXPECT_EQ(svg.find("href"), std::string::npos) << "must not depend on anything outside";
    ASSERT_EQ(summary.polylineIds.size(), 2u);
    EXPECT_NE(std::find(summary.polylineIds.begin(), summary.polylineIds.end(), "with-glidewheel"),
              summary.polylineIds.end());
    EXPECT_NE(
        std::find(summary.polylineIds.begin(), summary.polylineIds.end(), "each-notch-at-once"),
        summary.polylineIds.end());
    // The glide changes position at every post, the stepped line at each of the three notches;
    // a step is two points, plus the start and the end.
    for (std::size_t i = 0; i < 2; ++i) {
        const bool glided = summary.polylineIds[i] == "with-glidewheel";
        const std::size_t changes = glided ? glides(replayed(withEvents(trace))).size() : 3;
        EXPECT_EQ(summary.pointCounts[i], 2 * changes + 2) << summary.polylineIds[i];
    }
    for (const char* label : {"time (ms)", "position (points)", "with Glidewheel", "at once"}) {
        EXPECT_NE(summary.text.find(label), std::string::npos) << label;
    }
}

TEST(SvgChart, HorizontalTraceIsPlottedSideways) {
    const std::string svg = svgChart(replayed(withEvents({{0, 0, 1.0, 1}})));
    const SvgSummary summary = readSvg(svg);
    ASSERT_TRUE(summary.wellFormed) << summary.error;
    EXPECT_NE(summary.text.find("horizontal"), std::string::npos);
    ASSERT_EQ(summary.pointCounts.size(), 2u);
    EXPECT_GT(*std::max_element(summary.pointCounts.begin(), summary.pointCounts.end()), 2u);
}

}  // namespace
}  // namespace glidewheel::lab
