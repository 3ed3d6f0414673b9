// SPDX-License-Identifier: MIT

#include <gtest/gtest.h>

#include "app/popup_placement.h"
#include "app/tray_watch.h"
#include "tests/app/test_support.h"

namespace glidewheel::testing {
namespace {

using namespace std::chrono_literals;

TEST(PopupPlacement, HangsBelowTheIconOrAboveItAndStaysInsideTheArea) {
    const QRect topPanel(0, 24, 1920, 1056);  // a 24 px panel along the top
    struct Case {
        const char* name;
        QRect icon;
        QRect area;
        QPoint cursor;
        QPoint expected;
    };
    const Case cases[] = {
        {"top, middle: centred below", {900, 0, 24, 24}, topPanel, {}, {762, 24}},
        {"bottom panel: above", {1800, 1052, 24, 24}, {0, 0, 1920, 1048}, {}, {1620, 708}},
        {"second screen, left panel", {1920, 500, 24, 24}, {1944, 0, 1280, 1024}, {}, {1944, 524}},
        {"no geometry: at the cursor", {}, topPanel, {500, 400}, {351, 401}},
        {"no geometry, cursor bottom right", {}, topPanel, {1919, 1079}, {1620, 739}},
        {"area smaller than the popup", {10, 10, 24, 24}, {0, 0, 200, 200}, {}, {0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(popupPosition(c.icon, QSize(300, 340), c.area, c.cursor), c.expected);
    }
}

TEST(TrayWatch, ReportsAMissingTrayOnceThenItsArrival) {
    bool available = false;
    TrayWatch watch([&] { return available; }, 5ms, 40ms);
    int appeared = 0, missing = 0;
    QObject::connect(&watch, &TrayWatch::appeared, [&] { ++appeared; });
    QObject::connect(&watch, &TrayWatch::stillMissing, [&] { ++missing; });
    const auto runFor = [](std::chrono::milliseconds time) {
        const auto end = std::chrono::steady_clock::now() + time;
        waitUntil([&] { return std::chrono::steady_clock::now() >= end; }, processEvents);
    };
    watch.start();
    ASSERT_TRUE(waitUntil([&] { return missing > 0; }, processEvents));
    runFor(100ms);  // polls on: the tray is still missing
    available = true;
    ASSERT_TRUE(waitUntil([&] { return appeared > 0; }, processEvents));
    runFor(100ms);
    EXPECT_EQ(missing, 1);
    EXPECT_EQ(appeared, 1);
}

}  // namespace
}  // namespace glidewheel::testing
