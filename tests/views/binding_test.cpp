#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QSlider>
#include <QTest>
#include <vector>

#include "tests/views/test_platform.h"
#include "tests/views/test_settings.h"
#include "views/general_view.h"
#include "views/menu_popover_view.h"
#include "views/switch_toggle.h"

namespace glidewheel {
namespace {

class BindingTest : public ::testing::Test {
protected:
    BindingTest()
        : popover(settings.prefs, true, {}, {}), general(settings.prefs, true) {
        popover.resize(300, 340);
        general.resize(344, 300);
    }

    template <class T>
    static T* child(const QWidget& view, const char* name) {
        T* found = view.findChild<T*>(name);
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    static QString text(const QWidget& view, const char* name) { return child<QLabel>(view, name)->text(); }

    test::TestSettings settings;
    MenuPopoverView popover;
    GeneralView general;
};

TEST_F(BindingTest, ChangesFromTheModelShowEverywhereAtOnce) {
    settings.prefs.setScrollSpeed(2.5);
    settings.prefs.setSmoothness(0.85);
    settings.prefs.setReverseScroll(true);
    settings.prefs.setLaunchAtLogin(true);
    settings.prefs.setIsEnabled(false);
    // No event processing in between: the new value, not the one before it, is on show.
    for (const QWidget* view : {static_cast<QWidget*>(&popover), static_cast<QWidget*>(&general)}) {
        EXPECT_EQ(text(*view, "scrollSpeedText"), "2.5x");
        EXPECT_EQ(child<QSlider>(*view, "scrollSpeed")->value(), 25);
        EXPECT_EQ(text(*view, "smoothnessText"), "Ultra");
        EXPECT_EQ(child<QSlider>(*view, "smoothness")->value(), 17);
        EXPECT_TRUE(child<QCheckBox>(*view, "reverseScroll")->isChecked());
        EXPECT_TRUE(child<QCheckBox>(*view, "launchAtLogin")->isChecked());
    }
    EXPECT_FALSE(child<SwitchToggle>(popover, "isEnabled")->isChecked());
    EXPECT_FALSE(child<QCheckBox>(general, "isEnabled")->isChecked());
}

TEST_F(BindingTest, APopoverChangeShowsInTheGeneralTabAndBack) {
    popover.show();
    general.show();
    QTest::mouseClick(child<QCheckBox>(popover, "reverseScroll"), Qt::LeftButton);
    EXPECT_TRUE(settings.prefs.reverseScroll());
    EXPECT_TRUE(child<QCheckBox>(general, "reverseScroll")->isChecked());

    QTest::mouseClick(child<QCheckBox>(general, "isEnabled"), Qt::LeftButton);
    EXPECT_FALSE(settings.prefs.isEnabled());
    EXPECT_FALSE(child<SwitchToggle>(popover, "isEnabled")->isChecked());
    // The General tab never dims: its controls keep responding while smoothing is off.
    QTest::mouseClick(child<QCheckBox>(general, "launchAtLogin"), Qt::LeftButton);
    EXPECT_TRUE(settings.prefs.launchAtLogin());
    EXPECT_EQ(settings.loginItems.calls, std::vector<std::string>{"register"});
    EXPECT_TRUE(child<QCheckBox>(popover, "launchAtLogin")->isChecked());

    auto* smoothness = child<QSlider>(general, "smoothness");
    smoothness->setFocus();
    QTest::keyClick(smoothness, Qt::Key_Left);
    EXPECT_EQ(settings.prefs.smoothness(), 0.45);
    EXPECT_EQ(text(popover, "smoothnessText"), "Default");
    EXPECT_EQ(child<QSlider>(popover, "smoothness")->value(), 9);
}

TEST_F(BindingTest, DraggingWritesEveryStepAsAnExactValue) {
    // Dragging the handle is a sequence of slider moves while it is held down.
    std::vector<double> written;
    Cancellable recorder = settings.prefs.smoothnessStream().dropFirst().sink(
        [&](const double& value) { written.push_back(value); });
    auto* slider = child<QSlider>(general, "smoothness");
    slider->setSliderDown(true);
    for (int position = 10; position >= 0; --position) slider->setSliderPosition(position);
    for (int position = 1; position <= 20; ++position) slider->setSliderPosition(position);
    slider->setSliderDown(false);

    std::vector<double> expected;
    for (int k = 9; k >= 0; --k) expected.push_back(k / 20.0);
    for (int k = 1; k <= 20; ++k) expected.push_back(k / 20.0);
    EXPECT_EQ(written, expected);
    EXPECT_EQ(settings.prefs.smoothness(), 1.0);
    EXPECT_EQ(settings.defaults.doubleForKey("smoothness"), 1.0);
}

TEST_F(BindingTest, SpeedSliderCoversTenthsFromItsLowerBound) {
    popover.show();
    auto* slider = child<QSlider>(popover, "scrollSpeed");
    slider->setFocus();
    QTest::keyClick(slider, Qt::Key_Home);
    EXPECT_EQ(settings.prefs.scrollSpeed(), 0.1);
    EXPECT_EQ(text(general, "scrollSpeedText"), "0.1x");
    QTest::keyClick(slider, Qt::Key_Right);
    QTest::keyClick(slider, Qt::Key_Right);
    EXPECT_EQ(settings.prefs.scrollSpeed(), 0.3);  // exactly the double nearest 0.3
    QTest::keyClick(slider, Qt::Key_End);
    EXPECT_EQ(settings.prefs.scrollSpeed(), 10.0);
    EXPECT_EQ(text(general, "scrollSpeedText"), "10.0x");
}

TEST(BindingShowing, ShowingValuesNeverWritesThemBack) {
    // A hand-edited file: values between steps and out of range, login item on.
    test::TestSettings settings;
    settings.defaults.setDouble("scrollSpeed", 12.34);
    settings.defaults.setDouble("smoothness", 0.33);
    settings.defaults.setBool("launchAtLogin", true);
    Preferences prefs(settings.defaults, settings.loginItems);
    const int writesBefore = settings.defaults.writes();

    MenuPopoverView popover(prefs, true, {}, {});
    GeneralView general(prefs, true);
    popover.show();
    general.show();
    QApplication::processEvents();
    EXPECT_EQ(settings.defaults.writes(), writesBefore);
    EXPECT_TRUE(settings.loginItems.calls.empty());
    EXPECT_EQ(prefs.scrollSpeed(), 12.34);
    EXPECT_EQ(prefs.smoothness(), 0.33);
    EXPECT_EQ(popover.findChild<QLabel*>("scrollSpeedText")->text(), "12.3x");

    // A change from code is written once, by the code, and not again by either view.
    prefs.setLaunchAtLogin(false);
    prefs.setSmoothness(0.6);
    QApplication::processEvents();
    EXPECT_EQ(settings.defaults.writes(), writesBefore + 2);
    EXPECT_EQ(settings.loginItems.calls, std::vector<std::string>{"unregister"});
    EXPECT_EQ(prefs.smoothness(), 0.6);
}

}  // namespace
}  // namespace glidewheel
