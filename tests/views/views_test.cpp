// SPDX-License-Identifier: MIT

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QGraphicsOpacityEffect>
#include <QLabel>
#include <QLayout>
#include <QLocale>
#include <QSlider>
#include <QTabWidget>
#include <QTest>
#include <cmath>
#include <functional>
#include <vector>

#include "engine/scroll_interceptor.h"
#include "platform/sim/sim_platform.h"
#include "tests/support/qt_test_main.h"
#include "views/about_view.h"
#include "views/content_view.h"
#include "views/general_view.h"
#include "views/menu_popover_view.h"
#include "views/mice_view.h"
#include "views/presentation.h"

namespace glidewheel {
namespace testing {

// The sim backend installed for the whole binary, built before the first shared() call so that
// it outlives the shared instances that use it.
platform::sim::SimPlatform& sim() {
    static platform::sim::SimPlatform platform;
    return platform;
}

std::unique_ptr<QApplication> makeTestApplication(int& argc, char** argv) {
    sim().install();
    return std::make_unique<QApplication>(argc, argv);
}

}  // namespace testing
namespace {

using testing::sim;
using Info = platform::Bundle::InfoDictionary;

TEST(Presentation, SmoothnessRangesIncludeTheirLowerBoundOnly) {
    const std::pair<double, const char*> cases[] = {
        {0.0, "Responsive"}, {std::nextafter(0.2, 0.0), "Responsive"},
        {0.2, "Light"},      {0.39, "Light"},
        {0.4, "Default"},    {0.6, "Smooth"},
        {0.8, "Ultra"},      {1.0, "Ultra"},
        {-0.01, "Ultra"},    {std::nan(""), "Ultra"},
    };
    for (const auto& [value, label] : cases) EXPECT_EQ(smoothnessLabel(value), label) << value;
}

// Under a locale that writes decimals with a comma, the texts keep their full stop.
TEST(Presentation, SpeedAndAccelerationTextsKeepTheirFullStopInAnyLocale) {
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    ASSERT_EQ(QLocale().toString(1.5, 'f', 1), "1,5");  // the locale really is German
    const QStringList shown{speedText(1.0),        speedText(0.1),        speedText(10.0),
                            speedText(7.0 / 3.0),  accelerationText(0.0), accelerationText(NAN),
                            accelerationText(1.0), accelerationText(0.2)};
    QLocale::setDefault(QLocale::c());
    EXPECT_EQ(shown, (QStringList{"1.0x", "0.1x", "10.0x", "2.3x", "Off", "Off", "up to 6.0x",
                                  "up to 2.0x"}));
}

template <class T = QWidget>
T* child(const QWidget& view, const char* name) {
    T* found = view.findChild<T*>(name);
    EXPECT_NE(found, nullptr) << name;
    return found;
}

// The popup panel and the General tab over the same fresh settings, on screen together as when
// the settings window is open; the sim is trusted, with version "1.0".
class ViewsTest : public ::testing::Test {
protected:
    ViewsTest() {
        popover.show();
        general.show();
    }
    void TearDown() override {
        sim().trust.trusted = true;
        sim().bundle.info = Info{{"CFBundleShortVersionString", "1.0"}};
    }
    static void reshow(QWidget& view) { view.hide(), view.show(); }
    static QString text(const QWidget& v, const char* id) { return child<QLabel>(v, id)->text(); }
    static int position(const QWidget& v, const char* id) { return child<QSlider>(v, id)->value(); }
    static bool checked(const QWidget& view, const char* name) {
        return child<QAbstractButton>(view, name)->isChecked();
    }
    static void click(const QWidget& view, const char* name) {
        QTest::mouseClick(child(view, name), Qt::LeftButton);
    }
    static void press(const QWidget& view, const char* slider, Qt::Key key) {
        child(view, slider)->setFocus();
        QTest::keyClick(child(view, slider), key);
    }

    platform::sim::SimUserDefaults defaults;
    platform::sim::SimLoginItems loginItems;
    Preferences prefs{defaults, loginItems};
    int accessibilitySettingsOpened = 0;
    MenuPopoverView popover{prefs, true, {}, [this] { ++accessibilitySettingsOpened; }, {}};
    GeneralView general{prefs, true, [this] { ++accessibilitySettingsOpened; }};
    const std::vector<QWidget*> both{&popover, &general};
};

// Both places that show the version read the bundle again each time they are shown.
TEST_F(ViewsTest, VersionIsTheShortVersionStringOrOnePointZero) {
    AboutView about;
    const std::pair<std::optional<Info>, QString> cases[] = {
        {Info{{"CFBundleShortVersionString", "2.3"}, {"CFBundleVersion", "45"}}, "2.3"},
        {Info{{"CFBundleVersion", "45"}}, "1.0"},
        {Info{{"CFBundleShortVersionString", 2.3}}, "1.0"},
        {std::nullopt, "1.0"},
    };
    for (const auto& [info, version] : cases) {
        sim().bundle.info = info;
        reshow(popover);
        reshow(about);
        EXPECT_EQ(text(popover, "version"), "v" + version);
        EXPECT_EQ(text(about, "version"), "Version " + version);
    }
}

// Every view shows a change made in code at once, with no event processing in between, and
// showing a value never assigns it: each setting is written once, by the code alone.
TEST_F(ViewsTest, ChangesMadeInCodeShowInBothViewsAndAreNotWrittenBack) {
    EXPECT_EQ(defaults.writes(), 0);
    prefs.setScrollSpeed(12.34);  // between steps and out of range, as in a hand-edited file
    prefs.setSmoothness(0.33);
    prefs.setReverseScroll(true);
    prefs.setLaunchAtLogin(true);
    prefs.setIsEnabled(false);
    for (const QWidget* view : both) {
        EXPECT_EQ(text(*view, "scrollSpeedText"), "12.3x");
        EXPECT_EQ(position(*view, "scrollSpeed"), 100);
        EXPECT_EQ(text(*view, "smoothnessText"), "Light");
        EXPECT_EQ(position(*view, "smoothness"), 7);
        EXPECT_TRUE(checked(*view, "reverseScroll") && checked(*view, "launchAtLogin"));
        EXPECT_FALSE(checked(*view, "isEnabled"));
    }
    EXPECT_EQ(defaults.writes(), 5);
    EXPECT_EQ(loginItems.calls, std::vector<std::string>{"register"});
}

// The General tab never dims: its controls keep writing while smoothing is off. What any control
// writes shows in both views as a change made in code does.
TEST_F(ViewsTest, TheGeneralTabsControlsWriteTheSettingsAlsoWhileSmoothingIsOff) {
    click(general, "isEnabled");
    click(general, "reverseScroll");
    click(general, "launchAtLogin");
    press(general, "smoothness", Qt::Key_Left);
    EXPECT_TRUE(!prefs.isEnabled() && prefs.reverseScroll() && prefs.launchAtLogin());
    EXPECT_EQ(loginItems.calls, std::vector<std::string>{"register"});
    EXPECT_EQ(prefs.smoothness(), 0.45);
}

TEST_F(ViewsTest, PopoverSectionIsDimmedAndInertWhileDisabledAndTheSwitchRestoresIt) {
    prefs.setIsEnabled(false);
    const auto* effect =
        qobject_cast<QGraphicsOpacityEffect*>(child(popover, "settingsSection")->graphicsEffect());
    ASSERT_NE(effect, nullptr);
    for (const double opacity : {0.4, 1.0}) {
        EXPECT_DOUBLE_EQ(effect->opacity(), opacity);
        const bool live = opacity == 1.0;
        click(popover, "reverseScroll");
        click(popover, "launchAtLogin");
        press(popover, "scrollSpeed", Qt::Key_Right);
        EXPECT_EQ(prefs.reverseScroll(), live);
        EXPECT_EQ(prefs.launchAtLogin(), live);
        EXPECT_EQ(prefs.scrollSpeed(), live ? 1.1 : 1.0);
        click(popover, "isEnabled");  // the header switch stays live
        EXPECT_EQ(prefs.isEnabled(), !live);
    }
}

// Dragging is a run of slider moves while the handle is held: every whole step from the lower
// bound is written at once, as the double nearest its decimal (0.3, not a sum of 0.1s).
TEST_F(ViewsTest, DraggingWritesEveryStepAsAnExactValue) {
    std::vector<double> written, expected;
    Cancellable recorder =
        prefs.scrollSpeedStream().dropFirst().sink([&](const double& v) { written.push_back(v); });
    auto* slider = child<QSlider>(popover, "scrollSpeed");
    slider->setSliderDown(true);
    for (int tenths = 100; tenths >= 1; --tenths) {
        slider->setSliderPosition(tenths);
        expected.push_back(tenths / 10.0);
    }
    EXPECT_EQ(written, expected);
    EXPECT_EQ(text(general, "scrollSpeedText"), "0.1x");
}

// The popover's visible rows, top to bottom: each one's name, or "divider".
QStringList rowNames(const MenuPopoverView& view) {
    QStringList names;
    for (int i = 0; i < view.layout()->count(); ++i)
        if (const QWidget* row = view.layout()->itemAt(i)->widget(); row && row->isVisibleTo(&view))
            names << (row->objectName().isEmpty() ? "divider" : row->objectName());
    return names;
}

// The name of the lowest visible control of the General tab.
QString lowest(const GeneralView& general) {
    general.layout()->activate();  // as before the next frame
    const QWidget* last = nullptr;
    for (const QWidget* w : general.findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (w->isVisible() && (!last || w->y() > last->y())) last = w;
    return last ? last->objectName() : QString();
}

// Trust is read again at every showing, every activation of the program and every
// announcement that it may have changed, and only read.
TEST_F(ViewsTest, TheWarningFollowsTheTrustStateOnShowingActivationAndAnnouncement) {
    const QStringList top{"header", "divider"}, bottom{"settingsSection", "divider", "footer"};
    const QStringList warning{"permissionWarning", "permissionDivider"};
    const auto activation = [] {
        emit qApp->applicationStateChanged(Qt::ApplicationInactive);
        emit qApp->applicationStateChanged(Qt::ApplicationActive);
    };
    const std::function<void()> moments[] = {[&] { reshow(popover), reshow(general); }, activation,
                                             announcePermissionMayHaveChanged};
    for (const auto& moment : moments) {
        for (const bool trusted : {false, true}) {
            sim().trust.trusted = trusted;
            moment();
            EXPECT_EQ(rowNames(popover), top + (trusted ? QStringList() : warning) + bottom);
            EXPECT_EQ(lowest(general), trusted ? "openAccessibilitySettings" : "permissionWarning");
        }
    }
    EXPECT_EQ(sim().trust.prompts, 0);
    EXPECT_FALSE(ScrollInterceptor::shared().isRunning());
    click(general, "openAccessibilitySettings");  // offered also while trusted
    EXPECT_EQ(accessibilitySettingsOpened, 1);
}

// On a desktop where the mice are left as they are, the Mice tab says why.
TEST_F(ViewsTest, TheMiceTabSaysWhyTheMiceAreLeftAlone) {
    const MiceView alone(Preferences::shared(), "KDE Plasma 5 on Wayland");
    const MiceView gliding(Preferences::shared());
    const auto* why = alone.findChild<QLabel*>("miceLeftAlone");
    ASSERT_NE(why, nullptr);
    EXPECT_TRUE(why->text().startsWith("KDE Plasma 5 on Wayland shows most applications"));
    EXPECT_EQ(gliding.findChild<QLabel*>("miceLeftAlone"), nullptr);
}

// Each new window opens on General, seeded with the trust state before its first frame; in the
// window's fixed size, with or without the warning, no control of the General tab is squeezed
// below its natural height (a squeezed slider loses its knob's edges).
TEST_F(ViewsTest, ANewContentViewOpensOnGeneralWithTheWarningAndRoomForEveryControl) {
    for (const bool trusted : {false, true}) {
        SCOPED_TRACE(trusted ? "trusted" : "warning");
        sim().trust.trusted = trusted;
        ContentView content({});
        auto* tabs = content.findChild<QTabWidget*>();
        ASSERT_TRUE(tabs && tabs->count() == 4);
        auto* general = qobject_cast<GeneralView*>(tabs->widget(0));
        ASSERT_NE(general, nullptr);
        EXPECT_EQ(child(*general, "permissionWarning")->isVisibleTo(general), !trusted);
        for (int tab = 0; tab < 4; ++tab)
            EXPECT_FALSE(tabs->tabIcon(tab).isNull());  // symbols load
        content.setFixedSize(400, 382);
        content.show();
        EXPECT_EQ(tabs->currentIndex(), 0);
        EXPECT_EQ(tabs->geometry(), QRect(8, 0, 384, 374));  // 8 in from the sides and bottom
        general->layout()->activate();
        for (const QWidget* control : general->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (!control->isVisible()) continue;
            EXPECT_GE(control->height(), control->sizeHint().height())
                << control->metaObject()->className() << " " << control->objectName().toStdString();
            EXPECT_GE(control->y(), 0);
            EXPECT_LE(control->geometry().bottom(), general->height() - 1);
        }
        tabs->setCurrentIndex(1);  // the next new window still opens on General
    }
}

}  // namespace
}  // namespace glidewheel
