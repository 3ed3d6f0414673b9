#include "tools/lab/trace.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace glidewheel::lab {
namespace {

using namespace glidewheel::platform;

LabOptions parse(std::vector<std::string_view> arguments) { return parseArguments(arguments); }

TEST(ParseArguments, DefaultsWhenOnlyEventsAreGiven) {
    const LabOptions options = parse({"0:96=1,11=1"});
    EXPECT_EQ(options.speed, 1.0);
    EXPECT_EQ(options.smoothness, 0.5);
    EXPECT_FALSE(options.reverse);
    EXPECT_FALSE(options.disabled);
    EXPECT_EQ(options.refreshHz.numerator, 60u);
    EXPECT_EQ(options.refreshHz.denominator, 1u);
    EXPECT_FALSE(options.svgPath.has_value());
    ASSERT_EQ(options.events.size(), 1u);
}

TEST(ParseArguments, EveryOptionAndEventsInAnyPlace) {
    const LabOptions options =
        parse({"--speed", "2.5", "5:96=1", "--smoothness", "-0.25", "--reverse", "--disabled",
               "--refresh", "59.94", "--svg", "out.svg", "1.5:97=2"});
    EXPECT_EQ(options.speed, 2.5);
    EXPECT_EQ(options.smoothness, -0.25);
    EXPECT_TRUE(options.reverse);
    EXPECT_TRUE(options.disabled);
    EXPECT_EQ(options.refreshHz.numerator * 100, 5994u * options.refreshHz.denominator);
    EXPECT_EQ(options.svgPath, "out.svg");
    ASSERT_EQ(options.events.size(), 2u);
    EXPECT_EQ(toDouble(options.events[1].timeMs), 1.5);
}

TEST(ParseEvent, IntegerLiteralsAreWrittenAsIntegersAndDecimalsAsDoubles) {
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
}

TEST(ParseEvent, DefaultsToAScrollWheelEventWithNoFields) {
    const TraceEvent parsed = parseEvent("0:");
    EXPECT_EQ(parsed.event, Event(kCGEventScrollWheel));
    EXPECT_EQ(parseEvent("7:type=5").event.type(), 5u);
}

TEST(ParseEvent, ExtremeButValidValues) {
    EXPECT_EQ(parseEvent("0:11=-9223372036854775808").event.integerValue(11), INT64_MIN);
    EXPECT_EQ(parseEvent("0:4294967295=1").event.integerValue(4294967295u), 1);
    EXPECT_TRUE(std::isnan(parseEvent("0:96=nan").event.doubleValue(96)));
    EXPECT_EQ(parseEvent("0:flags=0xFFFFFFFFFFFFFFFF").event.flags(), UINT64_MAX);
    const Exact latest = parseEvent("999999999999.999999:").timeMs;
    EXPECT_EQ(latest.numerator, 999999999999999999u);
    EXPECT_EQ(latest.denominator, 1000000u);
}

TEST(ParseArguments, MalformedArgumentsAreNamedInTheError) {
    const std::string tooMany = [] {
        std::string event = "0:";
        for (int field = 0; field <= 24; ++field) event += std::to_string(field) + "=1,";
        event.pop_back();
        return event;
    }();
    const struct {
        std::vector<std::string_view> arguments;
        std::string named;
    } cases[] = {
        {{"--fast"}, "\"--fast\""},
        {{"0:96=1", "--speed"}, "\"--speed\""},
        {{"--smoothness", "soft"}, "\"soft\""},
        {{"--speed", ""}, "\"\""},
        {{"--speed", "1.5x"}, "\"1.5x\""},
        {{"--refresh", "0"}, "\"0\""},
        {{"--refresh", "-60"}, "\"-60\""},
        {{"--refresh", "sixty"}, "\"sixty\""},
        {{"--refresh", "60."}, "\"60.\""},
        {{"--svg"}, "\"--svg\""},
        {{"96=1"}, "\"96=1\""},
        {{"-5:96=1"}, "\"-5\""},
        {{"abc:96=1"}, "\"abc\""},
        {{"1e3:96=1"}, "\"1e3\""},
        {{"0:96"}, "\"96\""},
        {{"0:96=1,,11=1"}, "\"\""},
        {{"0:96=1,"}, "\"0:96=1,\""},
        {{"0:x=1"}, "\"x\""},
        {{"0:-1=1"}, "\"-1\""},
        {{"0:4294967296=1"}, "\"4294967296\""},
        {{"0:96=1.2.3"}, "\"1.2.3\""},
        {{"0:11=9223372036854775808"}, "\"9223372036854775808\""},
        {{"0:flags=-1"}, "\"-1\""},
        {{"0:type=4294967296"}, "\"4294967296\""},
        {{tooMany}, "24"},
    };
    for (const auto& c : cases) {
        try {
            parse(c.arguments);
            ADD_FAILURE() << "accepted " << c.arguments.back();
        } catch (const ArgumentError& error) {
            const std::string message = error.what();
            EXPECT_NE(message.find(c.named), std::string::npos)
                << "\"" << message << "\" does not name " << c.named;
            EXPECT_EQ(message.find('\n'), std::string::npos);
        }
    }
}

TEST(FormatMillis, ThreeDecimalsRoundedHalfUp) {
    EXPECT_EQ(formatMillis(Exact{0, 1}), "0.000");
    EXPECT_EQ(formatMillis(Exact{1000, 60}), "16.667");
    EXPECT_EQ(formatMillis(Exact{2000, 60}), "33.333");
    EXPECT_EQ(formatMillis(Exact{12345, 10000}), "1.235");
    EXPECT_EQ(formatMillis(Exact{12344, 10000}), "1.234");
    EXPECT_EQ(formatMillis(Exact{99999999, 100000}), "1000.000");
}

}  // namespace
}  // namespace glidewheel::lab
