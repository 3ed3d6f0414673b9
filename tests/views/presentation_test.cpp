#include <gtest/gtest.h>

#include <QDesktopServices>
#include <QLocale>
#include <QUrl>
#include <cmath>
#include <limits>

#include "tests/views/test_platform.h"
#include "views/bindings.h"
#include "views/presentation.h"

namespace glidewheel {
namespace {

using Info = platform::Bundle::InfoDictionary;

TEST(SmoothnessLabel, RangesIncludeTheirLowerBoundOnly) {
    const struct {
        double smoothness;
        const char* label;
    } cases[] = {
        {0.0, "Responsive"}, {0.19, "Responsive"}, {std::nextafter(0.2, 0.0), "Responsive"},
        {0.2, "Light"},      {0.39, "Light"},      {0.4, "Default"},
        {0.5, "Default"},    {0.55, "Default"},    {0.6, "Smooth"},
        {0.75, "Smooth"},    {0.8, "Ultra"},       {1.0, "Ultra"},
    };
    for (const auto& c : cases) EXPECT_EQ(smoothnessLabel(c.smoothness), c.label) << c.smoothness;
}

TEST(SmoothnessLabel, ValuesOutsideTheSliderAreUltra) {
    EXPECT_EQ(smoothnessLabel(-0.01), "Ultra");
    EXPECT_EQ(smoothnessLabel(-1.0), "Ultra");
    EXPECT_EQ(smoothnessLabel(7.0), "Ultra");
    EXPECT_EQ(smoothnessLabel(std::numeric_limits<double>::quiet_NaN()), "Ultra");
}

TEST(SpeedText, OneDecimalAndAnX) {
    EXPECT_EQ(speedText(1.0), "1.0x");
    EXPECT_EQ(speedText(0.1), "0.1x");
    EXPECT_EQ(speedText(10.0), "10.0x");
    EXPECT_EQ(speedText(2.0 + 1.0 / 3.0), "2.3x");
}

TEST(SpeedText, IgnoresTheApplicationLocale) {
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    ASSERT_EQ(QLocale().toString(1.5, 'f', 1), "1,5");  // the locale really is German
    const QString shown = speedText(1.5);
    QLocale::setDefault(previous);
    EXPECT_EQ(shown, "1.5x");
}

class VersionRule : public ::testing::Test {
protected:
    void TearDown() override { test::resetSim(); }
};

TEST_F(VersionRule, UsesTheShortVersionString) {
    test::sim().bundle.info = Info{{"CFBundleShortVersionString", "2.3"}, {"CFBundleVersion", "45"}};
    EXPECT_EQ(versionString(), "2.3");
    EXPECT_EQ(versionText(), "v2.3");
}

TEST_F(VersionRule, FallsBackWithoutAUsableString) {
    test::sim().bundle.info = Info{{"CFBundleVersion", "45"}};
    EXPECT_EQ(versionText(), "v1.0") << "missing key";
    test::sim().bundle.info = Info{{"CFBundleShortVersionString", 2.3}};
    EXPECT_EQ(versionText(), "v1.0") << "a number, not a string";
    test::sim().bundle.info = Info{{"CFBundleShortVersionString", true}};
    EXPECT_EQ(versionString(), "1.0") << "a Bool, not a string";
    test::sim().bundle.info.reset();
    EXPECT_EQ(versionString(), "1.0") << "no information dictionary";
}

// Records the addresses the desktop was asked to open.
class UrlRecorder : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl& url) { opened.append(url); }
};

TEST(OpenAccessibilitySettings, AsksTheDesktopForThePrivacyPage) {
    UrlRecorder recorder;
    QDesktopServices::setUrlHandler("x-apple.systempreferences", &recorder, "open");
    openAccessibilitySettings();
    QDesktopServices::unsetUrlHandler("x-apple.systempreferences");
    ASSERT_EQ(recorder.opened.size(), 1);
    EXPECT_EQ(recorder.opened.front().toString(),
              "x-apple.systempreferences:com.apple.preference.security?Privacy_Accessibility");
}

TEST(SliderScale, PositionsAreExactDecimalSteps) {
    // Division keeps each step the double nearest its decimal; adding up 0.1 or 0.05 would not.
    EXPECT_EQ(kSpeedScale.valueAt(3), 0.3);
    EXPECT_EQ(kSpeedScale.valueAt(kSpeedScale.first), 0.1);
    EXPECT_EQ(kSpeedScale.valueAt(kSpeedScale.last), 10.0);
    EXPECT_EQ(kSmoothnessScale.valueAt(3), 0.15);
    EXPECT_EQ(kSmoothnessScale.valueAt(kSmoothnessScale.first), 0.0);
    EXPECT_EQ(kSmoothnessScale.valueAt(kSmoothnessScale.last), 1.0);
    for (const SliderScale scale : {kSpeedScale, kSmoothnessScale}) {
        for (int position = scale.first; position <= scale.last; ++position) {
            EXPECT_EQ(scale.positionOf(scale.valueAt(position)), position);
        }
    }
}

TEST(SliderScale, OddValuesShowAtTheNearestPosition) {
    EXPECT_EQ(kSpeedScale.positionOf(0.1 + 0.2), 3);  // 0.30000000000000004
    EXPECT_EQ(kSmoothnessScale.positionOf(0.33), 7);
    EXPECT_EQ(kSpeedScale.positionOf(12.0), kSpeedScale.last);
    EXPECT_EQ(kSpeedScale.positionOf(0.0), kSpeedScale.first);
    EXPECT_EQ(kSmoothnessScale.positionOf(-1.0), kSmoothnessScale.first);
    EXPECT_EQ(kSpeedScale.positionOf(std::numeric_limits<double>::quiet_NaN()), kSpeedScale.first);
    EXPECT_EQ(kSpeedScale.positionOf(std::numeric_limits<double>::infinity()), kSpeedScale.last);
}

}  // namespace
}  // namespace glidewheel

#include "presentation_test.moc"
