// SPDX-License-Identifier: MIT

// The lab tool: its trace parser, its replay on the virtual display clock, and the program as a
// user runs it.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QXmlStreamReader>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "tools/lab/replay.h"
#include "tools/lab/trace.h"

namespace glidewheel::lab {
namespace {

using namespace glidewheel::platform;

TEST(ParseEvent, IntegerLiteralsAreWrittenAsIntegersAndTheRestAsDoubles) {
    const TraceEvent parsed =
        parseEvent("12.125:96=3,97=-0.5,11=-2,42=0x474C494445574C,99=1e0,flags=0x20000,type=0x16");
    EXPECT_EQ(parsed.timeMs.numerator * 1000, 12125u * parsed.timeMs.denominator);
    Event expected(kCGEventScrollWheel, 0x20000);
    expected.setIntegerValue(96, 3);
    expected.setDoubleValue(97, -0.5);
    expected.setIntegerValue(11, -2);
    expected.setIntegerValue(42, 0x474C494445574C);
    expected.setDoubleValue(99, 1.0);
    EXPECT_EQ(parsed.event, expected);  // equality compares each field's type too

    EXPECT_EQ(parseEvent("0:").event, Event(kCGEventScrollWheel));
    EXPECT_EQ(parseEvent("0:11=-9223372036854775808").event.integerValue(11), INT64_MIN);
    EXPECT_EQ(parseEvent("0:4294967295=1").event.integerValue(4294967295u), 1);
    EXPECT_TRUE(std::isnan(parseEvent("0:96=nan").event.doubleValue(96)));
    EXPECT_EQ(parseEvent("0:flags=0xFFFFFFFFFFFFFFFF").event.flags(), UINT64_MAX);
    EXPECT_EQ(parseEvent("999999999999.999999:").timeMs.numerator, 999999999999999999u);
}

TEST(ParseArguments, MalformedArgumentsAreNamedInTheError) {
    std::string tooMany = "0:";
    for (int field = 0; field <= 24; ++field) tooMany += std::to_string(field) + "=1,";
    tooMany.pop_back();
    const std::pair<std::vector<std::string_view>, std::string> cases[] = {
        {{"--speed", "1.5x"}, "\"1.5x\""},
        {{"--refresh", "0"}, "\"0\""},
        {{"--acceleration", "1.5"}, "\"1.5\""},
        {{"--acceleration", "nan"}, "\"nan\""},
        {{"--svg"}, "\"--svg\""},
        {{"--loud", "0:96=1"}, "\"--loud\""},
        {{"0:96=1,oops"}, "\"0:96=1,oops\""},
        {{"-5:96=1"}, "\"-5\""},
        {{"1.0000001:96=1"}, "\"1.0000001\""},
        {{"0:96=1,"}, "\"0:96=1,\""},
        {{"0:4294967296=1"}, "\"4294967296\""},
        {{"0:11=9223372036854775808"}, "\"9223372036854775808\""},
        {{tooMany}, "24"},
    };
    for (const auto& c : cases)
        EXPECT_THAT([&] { parseArguments(c.first); },
                    ::testing::ThrowsMessage<ArgumentError>(::testing::HasSubstr(c.second)))
            << c.first.back();
}

TEST(FormatMillis, ThreeDecimalsRoundedHalfUp) {
    EXPECT_EQ(formatMillis(Exact{0, 1}), "0.000");
    EXPECT_EQ(formatMillis(Exact{12345, 10000}), "1.235");
    EXPECT_EQ(formatMillis(Exact{12344, 10000}), "1.234");
    EXPECT_EQ(formatMillis(Exact{99999999, 100000}), "1000.000");
}

ReplayResult replayed(const LabOptions& options) {
    // Leaked, so that it outlives the shared interceptor and preferences at exit.
    static auto* platform = [] {
        auto* made = new sim::SimPlatform;
        made->install();
        return made;
    }();
    return replay(options, *platform, Preferences::shared(), ScrollInterceptor::shared());
}

// A notch of the vertical wheel, as a trace gives it: a point and a line.
const Event kNotch = parseEvent("0:96=1.0,11=1").event;

// While no glide runs the clock jumps to the next event, and the link picks up at the first
// refresh at or after it.
TEST(Replay, AfterAnIdleSpellTheNextGlideStartsAtTheRefreshOfItsNotch) {
    LabOptions options;  // 60 Hz
    options.events = {{{0, 1}, kNotch}, parseEvent("2000:97=2.0,12=1")};
    const ReplayResult result = replayed(options);
    const auto sideways = std::find_if(result.deliveries.begin(), result.deliveries.end(),
                                       [](const Delivery& d) { return d.event.hasField(12); });
    ASSERT_NE(sideways, result.deliveries.end());
    EXPECT_EQ(sideways->frame, 120u);
    EXPECT_EQ(formatMillis(sideways->timeMs), "2000.000");
}

// Frame 1 is at exactly 1000 / hz ms. A second notch exactly then extends the glide before that
// frame moves, so the frame's step is twice as large; a moment later it comes after the frame.
TEST(Replay, EventExactlyAtAFrameTimeIsHandledBeforeThatFrame) {
    const struct {
        Exact hz, atFrame, justAfter;
    } rates[] = {
        {{125, 1}, {8, 1}, {8000001, 1000000}},                   // 8 × 125 = 1000 exactly
        {{5994, 100}, {16683350, 1000000}, {16683351, 1000000}},  // 59.94 Hz: 16.683350 ms
    };
    for (const auto& rate : rates) {
        for (const bool atFrame : {true, false}) {
            LabOptions options;
            options.refreshHz = rate.hz;
            options.events = {{Exact{0, 1}, kNotch},
                              {atFrame ? rate.atFrame : rate.justAfter, kNotch}};
            const ReplayResult result = replayed(options);
            ASSERT_FALSE(result.deliveries.empty());
            EXPECT_EQ(result.deliveries[0].frame, 1u);
            EXPECT_NEAR(result.deliveries[0].event.doubleValue(96), atFrame ? 2.4495 : 1.2247, 1e-4)
                << toDouble(rate.hz) << " Hz, " << (atFrame ? "at the frame" : "just after it");
        }
    }
}

// Trace events are stamped with their times, so a fast spin accelerates: five notches 20 ms
// apart at setting 1 aim at 1 + 4 × 6 notches, and the chart's notches say the same.
TEST(Replay, AccelerationMeasuresThePaceByTheTraceTimes) {
    for (const double acceleration : {0.0, 1.0}) {
        LabOptions options;
        options.acceleration = acceleration;
        for (Wide ms = 0; ms <= 80; ms += 20) options.events.push_back({{ms, 1}, kNotch});
        const ReplayResult result = replayed(options);
        double notched = 0.0, glided = 0.0;
        for (const Notch& n : result.notches) notched += n.distance;
        for (const Delivery& d : result.deliveries) glided += d.event.doubleValue(96);
        const double aimed = acceleration == 0.0 ? 50.0 : 250.0;
        EXPECT_EQ(notched, aimed);
        EXPECT_GT(glided, aimed - 2.0) << "the stop rule leaves less than a notch's tail";
        EXPECT_LE(glided, aimed);
    }
}

struct LabRun {
    int exitCode;
    std::vector<std::string> out;  // lines
    std::string err;
};

LabRun runLab(const QStringList& arguments) {
    QProcess lab;
    lab.start(GLIDEWHEEL_LAB_PATH, arguments);
    const bool finished = lab.waitForFinished(60000);
    LabRun run{finished && lab.exitStatus() == QProcess::NormalExit ? lab.exitCode() : -1,
               {},
               lab.readAllStandardError().toStdString()};
    for (const QByteArray& line : lab.readAllStandardOutput().split('\n'))
        if (!line.isEmpty()) run.out.push_back(line.toStdString());
    return run;
}

// The wheel event given first but at 20 ms, passed for its momentum phase, comes between the
// first two frames' rows; disabled, the notch itself passes.
TEST(Cli, PrintsAHeaderThenEachDeliveryInTimeOrder) {
    const LabRun run = runLab({"20:96=-2.5,11=-1,123=2", "0:96=1,11=1"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");
    ASSERT_GE(run.out.size(), 4u);
    EXPECT_EQ(run.out[0], "time_ms,frame,origin,f96,f97,f11,f12,f88,f42");
    EXPECT_EQ(run.out[1].substr(0, 15), "16.667,1,glide,");
    EXPECT_EQ(run.out[2], "20.000,,wheel,-2.500000,0.000000,-1,0,0,0");
    EXPECT_EQ(run.out[3].substr(0, 15), "33.333,2,glide,");

    const LabRun disabled = runLab({"--disabled", "0:96=1,11=1"});
    EXPECT_EQ(disabled.out,
              (std::vector<std::string>{run.out[0], "0.000,,wheel,1.000000,0.000000,1,0,0,0"}));
}

TEST(Cli, MalformedArgumentsExitTwoWithOneLineNamingThem) {
    const LabRun run = runLab({"--loud", "0:96=1"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(run.out.empty());
    EXPECT_NE(run.err.find("--loud"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << "one line: " << run.err;
}

TEST(Cli, OptionsApplyAndTheSvgIsAWellFormedChartOfBothSeries) {
    const QString path = QString::fromStdString(::testing::TempDir()) + "glidewheel_lab_" +
                         QString::number(QCoreApplication::applicationPid()) + ".svg";
    const LabRun run = runLab({"--speed", "2", "--smoothness", "0", "--reverse", "--refresh", "120",
                               "--svg", path, "0:96=1,11=1", "100:96=-2,11=-1"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    ASSERT_GE(run.out.size(), 2u);
    // Frame 1 at 1000 / 120 ms moves 0.3 of the reversed distance 2 × (1 + 9).
    EXPECT_EQ(run.out[1], "8.333,1,glide,-6.000000,0.000000,-1,0,1,20068600908175180");

    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QXmlStreamReader reader(&file);
    QStringList lines;
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement() && reader.name() == QLatin1String("polyline"))
            lines << reader.attributes().value("id").toString();
    }
    EXPECT_FALSE(reader.hasError()) << reader.errorString().toStdString();
    EXPECT_EQ(lines, QStringList({"each-notch-at-once", "with-glidewheel"}));
    file.remove();

    const LabRun unwritable = runLab({"--svg", "/nonexistent-dir/chart.svg", "0:96=1"});
    EXPECT_EQ(unwritable.exitCode, 1);
    EXPECT_NE(unwritable.err.find("/nonexistent-dir/chart.svg"), std::string::npos);
}

}  // namespace
}  // namespace glidewheel::lab
